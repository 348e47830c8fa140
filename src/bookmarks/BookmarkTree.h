// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BookmarkFile.h"

#include <vector>

// A browser's bookmarks read whole from its profile (FirefoxPlaces, ChromiumBookmarks), handed
// out item by item just as BookmarkFile hands out a bookmark file's, so that BookmarkImport
// writes both the same way.
class BookmarkTree
{
public:
    void startFolder(const QString &title, qint64 addDate);
    void endFolder();
    void addLink(const QString &title, const QString &url, qint64 addDate);
    // Items read elsewhere, in the order given, taken over.
    void append(std::vector<BookmarkFile::Item> &&items);

    BookmarkFile::Item next();
    qsizetype position() const { return qsizetype(m_next); }
    qsizetype size() const { return qsizetype(m_items.size()); }

private:
    std::vector<BookmarkFile::Item> m_items;
    size_t m_next = 0;
};
