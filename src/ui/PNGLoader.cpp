// SPDX-License-Identifier: GPL-3.0-or-later
#include "PNGLoader.h"

#include <QImageReader>

QImage PNGLoader::LoadPNG(const QString &FileName)
{
    QImageReader reader(FileName, "png");
    // Decided by the name alone: a JPEG saved as ".png" is no PNG and shows nothing.
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}
