// SPDX-License-Identifier: GPL-3.0-or-later
// The restore block of a page from anyone: whatever it holds, the restore ends with an answer,
// creates nothing outside the base folder and writes only ".url" files.
#include "FuzzSupport.h"
#include "restore/FavoritesRestore.h"

extern "C" int LLVMFuzzerTestOneInput(const char *data, size_t size)
{
    const QString root = fuzz::scratch() + u"/run"_qs;
    QDir(root).removeRecursively();
    QDir().mkpath(root + u"/base"_qs);
    const QString page = root + u"/page.html"_qs;
    fuzz::writeFile(page, data, size);

    FavoritesRestore restore;
    qsizetype lines = 0;
    QObject::connect(&restore, &FavoritesRestore::logLine, [&](const QString &) { ++lines; });
    const bool ok = restore.DecodeFile(page, root + u"/base"_qs);
    fuzz::check(ok || lines > 0, "a failed restore logs why");

    fuzz::checkOnlyShortcutsBelow(root, u"page.html"_qs);
    return 0;
}
