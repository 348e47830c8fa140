// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

class BookmarkTree;

// The "Bookmarks" file of the Chromium family (Chromium, Chrome, Edge, Brave, Vivaldi): JSON
// whose "roots" hold the bookmarks bar, the other bookmarks and the mobile ("synced") ones,
// each a tree of "folder" and "url" nodes. Fields it does not know are ignored.
class ChromiumBookmarks
{
public:
    // False when the file cannot be read or holds no such bookmarks; *error then says why.
    static bool read(const QString &path, BookmarkTree *tree, QString *error);
    static bool readData(const QByteArray &json, BookmarkTree *tree, QString *error);
    // date_added: microseconds since 1601 as a decimal string, to seconds since 1970.
    static qint64 toUnixSeconds(const QString &microseconds);
};
