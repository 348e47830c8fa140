// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class BookmarkTree;

// Firefox's bookmarks from its places.sqlite (moz_bookmarks and moz_places): the menu, the
// toolbar and the other bookmarks as top folders named as Firefox shows them in Japanese, the
// mobile bookmarks too when there are any. Separators, tags and Firefox's own saved searches
// ("place:" queries) are left out.
class FirefoxPlaces
{
public:
    // False when the database cannot be read as Firefox's; *error then says why.
    static bool read(const QString &path, BookmarkTree *tree, QString *error);
};
