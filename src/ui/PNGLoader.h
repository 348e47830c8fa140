// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QString>

// Decodes a PNG file for the definition editor's preview. A file that is missing, damaged or
// not a PNG at all gives a null image; nothing is reported.
class PNGLoader
{
public:
    static QImage LoadPNG(const QString &FileName);
};
