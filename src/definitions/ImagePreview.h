// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QSize>
#include <QString>

// The preview rules of the definition editor; the window only loads and shows.
class ImagePreview
{
public:
    enum class Loader
    {
        None,
        Png,
        Jpeg,
        Gif
    };

    // By the extension after the last ".", in any letter case: PNG, JPG or JPEG, GIF; any
    // other file gets no preview.
    static Loader loaderFor(const QString &file);

    // Top left of a picture in a frame of the given inner size; a picture is never stretched.
    // In each direction: 0 when the picture is at least as large as the frame, else centred.
    static QPoint placement(QSize picture, QSize frameInner);
};
