// SPDX-License-Identifier: GPL-3.0-or-later
// A bookmark file from anyone: the reader ends after a number of items bounded by the file's
// size, folders open and close in pairs, and the import writes folders and shortcut files
// below the base folder only. The import also takes what looks like a browser's own bookmarks
// (a Chromium family's JSON, Firefox's SQLite database), seeded from tests/data/browsers.
#include "FuzzSupport.h"
#include "bookmarks/BookmarkFile.h"
#include "restore/BookmarkImport.h"

extern "C" int LLVMFuzzerTestOneInput(const char *data, size_t size)
{
    const QByteArray bytes(data, qsizetype(size));
    BookmarkFile reader;
    reader.setData(bytes);
    qsizetype depth = 0;
    qsizetype items = 0;
    for (;;) {
        const BookmarkFile::Item item = reader.next();
        fuzz::check(++items <= 2 * qsizetype(size) + 4, "ends");
        if (item.kind == BookmarkFile::Item::FolderStart)
            ++depth;
        else if (item.kind == BookmarkFile::Item::FolderEnd)
            fuzz::check(--depth >= 0, "no folder closed that was not opened");
        else if (item.kind == BookmarkFile::Item::End) {
            fuzz::check(depth == 0, "every folder closed at the end");
            break;
        } else if (item.kind == BookmarkFile::Item::Malformed) {
            break;
        }
    }
    fuzz::check(reader.next().kind == BookmarkFile::Item::End ||
                    reader.next().kind == BookmarkFile::Item::Malformed,
                "stays at its end");

    const QString root = fuzz::scratch() + u"/import"_qs;
    QDir(root).removeRecursively();
    QDir().mkpath(root + u"/base"_qs);
    const QString file = root + u"/bookmarks.html"_qs;
    fuzz::writeFile(file, data, size);
    BookmarkImport import;
    qsizetype lines = 0;
    QObject::connect(&import, &BookmarkImport::logLine, [&](const QString &) { ++lines; });
    const bool ok = import.ImportFile(file, root + u"/base"_qs);
    fuzz::check(ok || lines > 0, "a failed import logs why");
    fuzz::checkOnlyShortcutsBelow(root, u"bookmarks.html"_qs);
    return 0;
}
