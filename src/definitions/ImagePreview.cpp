// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImagePreview.h"

ImagePreview::Loader ImagePreview::loaderFor(const QString &file)
{
    const qsizetype dot = file.lastIndexOf(u'.');
    const qsizetype slash = file.lastIndexOf(u'/');
    if (dot < 0 || dot < slash)
        return Loader::None;
    const QString extension = file.mid(dot + 1).toUpper();
    if (extension == u"PNG"_qs)
        return Loader::Png;
    if (extension == u"JPG"_qs || extension == u"JPEG"_qs)
        return Loader::Jpeg;
    if (extension == u"GIF"_qs)
        return Loader::Gif;
    return Loader::None;
}

QPoint ImagePreview::placement(QSize picture, QSize frameInner)
{
    const auto offset = [](int size, int inner) { return size >= inner ? 0 : (inner - size) / 2; };
    return QPoint(offset(picture.width(), frameInner.width()),
                  offset(picture.height(), frameInner.height()));
}
