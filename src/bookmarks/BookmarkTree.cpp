// SPDX-License-Identifier: GPL-3.0-or-later
#include "BookmarkTree.h"

#include <iterator>

namespace {

BookmarkFile::Item item(BookmarkFile::Item::Kind kind, const QString &title, const QString &url,
                        qint64 addDate)
{
    BookmarkFile::Item i;
    i.kind = kind;
    i.title = title;
    i.exactTitle = title;
    i.url = url;
    i.addDate = addDate;
    return i;
}

} // namespace

void BookmarkTree::startFolder(const QString &title, qint64 addDate)
{
    m_items.push_back(item(BookmarkFile::Item::FolderStart, title, QString(), addDate));
}

void BookmarkTree::endFolder()
{
    m_items.push_back(item(BookmarkFile::Item::FolderEnd, QString(), QString(), 0));
}

void BookmarkTree::addLink(const QString &title, const QString &url, qint64 addDate)
{
    m_items.push_back(item(BookmarkFile::Item::Link, title, url, addDate));
}

void BookmarkTree::append(std::vector<BookmarkFile::Item> &&items)
{
    if (m_items.empty()) {
        m_items = std::move(items);
    } else {
        m_items.insert(m_items.end(), std::make_move_iterator(items.begin()),
                       std::make_move_iterator(items.end()));
    }
    std::vector<BookmarkFile::Item>().swap(items);
}

BookmarkFile::Item BookmarkTree::next()
{
    if (m_next >= m_items.size())
        return BookmarkFile::Item();
    return std::move(m_items[m_next++]);
}
