// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// A bookmark's icon as browsers export it (ICON="data:image/png;base64,…"), kept as an image
// file of its own: one file for each distinct image, named by its content, so a tree of many
// bookmarks sharing an icon holds it once.
class BookmarkIcon
{
public:
    // The folder at the top of a tree that holds the icons.
    static QString folderName() { return u".icons"_qs; }
    // The file in each folder the import makes that keeps the folder's own title and dates.
    static QString folderFileName() { return u".folder.ini"_qs; }
    // Larger values are no icon a browser made.
    static constexpr qsizetype MaxBytes = 64 * 1024;

    // The file name and the image of a data: address; an empty name when the value is no
    // small image of a known kind in Base64.
    static QString fileFor(QStringView dataUri, QByteArray *image);
    // The data: address of an icon file's name and image; empty for a name of no known kind.
    static QString dataUri(QStringView fileName, const QByteArray &image);
};
