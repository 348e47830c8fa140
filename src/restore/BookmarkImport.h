// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bookmarks/BookmarkFile.h"

#include <QObject>
#include <QString>

// Makes a Favorites tree from a bookmark file (BookmarkFile), or from a browser's own bookmarks
// (FirefoxPlaces, ChromiumBookmarks) read the same way: in the chosen base folder the file's
// top-level folders and links, one folder per bookmark folder and one shortcut file per
// bookmark, each shortcut dated by the bookmark's ADD_DATE so that sorting by date follows
// the order the bookmarks were made in. What the file name cannot say (the exact title, the
// dates, the icon) goes into a section of the shortcut's own that Windows passes over; the
// icons themselves into one file each in the base folder's BookmarkIcon::folderName(). Nothing is
// written outside the base folder; a shortcut that is already there is replaced, as the restore
// does.
class BookmarkImport : public QObject
{
    Q_OBJECT

public:
    enum class Source
    {
        BookmarkFile,      // bookmarks.html, or any other page
        FirefoxPlaces,     // places.sqlite
        ChromiumBookmarks, // a "Bookmarks" file
    };
    // What the file holds, by its first bytes.
    static Source sourceOf(const QString &path);

    // Answers false after logging the cause; what was written before a fault stays. A browser's
    // bookmarks are read whole before anything is written.
    bool ImportFile(const QString &LoadFile, const QString &BasePath);

    // The shortcut file of an address, as the code page holds it (CR LF).
    static QByteArray shortcutBytes(const QString &url);
    // The same with the bookmark's section: its name as the file has it (less ".url"), and
    // the name of its icon's file, if any.
    static QByteArray shortcutBytes(const BookmarkFile::Item &item, const QString &name,
                                    const QString &iconFile);
    // The same section alone, for a folder's BookmarkIcon::folderFileName().
    static QByteArray folderBytes(const BookmarkFile::Item &item, const QString &name);
    // The address as a shortcut file holds it: blanks at the ends and line breaks inside
    // dropped, control characters and characters the code page cannot hold percent-encoded
    // as UTF-8.
    static QString shortcutAddress(const QString &url);

    // A path this long (in bytes) is the most a file system call takes here.
    static constexpr qsizetype MaxPathBytes = 4095;

    qint64 folderCount() const { return m_folders; }
    qint64 linkCount() const { return m_links; }

signals:
    void logLine(const QString &line);
    void progress(qint64 value, qint64 maximum);

private:
    bool fail(const QString &message);
    template <class Reader> bool importFrom(Reader &reader, const QString &BasePath);

    qint64 m_folders = 0;
    qint64 m_links = 0;
};
