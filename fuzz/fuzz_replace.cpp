// SPDX-License-Identifier: GPL-3.0-or-later
// A restore over the tree an earlier restore of the same page made: it ends with the same
// answer, the same names and bytes, and leaves no temporary file behind.
#include "FuzzSupport.h"
#include "restore/FavoritesRestore.h"

#include <QMap>

namespace {

QMap<QString, QByteArray> treeBelow(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(root).relativeFilePath(path), fuzz::readFile(path));
    }
    return files;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const char *data, size_t size)
{
    const QString root = fuzz::scratch() + u"/run"_qs;
    QDir(root).removeRecursively();
    QDir().mkpath(root + u"/base"_qs);
    const QString page = root + u"/page.html"_qs;
    fuzz::writeFile(page, data, size);

    FavoritesRestore first;
    const bool ok = first.DecodeFile(page, root + u"/base"_qs);
    const QMap<QString, QByteArray> made = treeBelow(root + u"/base"_qs);
    FavoritesRestore again;
    fuzz::check(again.DecodeFile(page, root + u"/base"_qs) == ok, "the same answer again");
    const QMap<QString, QByteArray> replaced = treeBelow(root + u"/base"_qs);
    if (ok)
        fuzz::check(replaced == made, "a restore over its own tree gives the same tree");
    for (auto it = replaced.cbegin(); it != replaced.cend(); ++it)
        fuzz::check(!it.key().contains(u".vellumdex-tmp-"_qs), "no temporary file is left");
    fuzz::checkOnlyShortcutsBelow(root, u"page.html"_qs);
    return 0;
}
