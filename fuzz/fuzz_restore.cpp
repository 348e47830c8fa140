// The restore block of a page from anyone: whatever it holds, the restore ends with an answer,
// creates nothing outside the base folder and writes only ".url" files.
#include "FuzzSupport.h"
#include "convert/FavoritesRestore.h"

#include <QDirIterator>

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

    // Nothing beside the page and the base folder; below it, folders and ".url" files only.
    const QStringList top =
        QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    fuzz::check(top == QStringList({u"base"_qs, u"page.html"_qs}), "nothing outside the base");
    QDirIterator it(root + u"/base"_qs,
                    QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        fuzz::check(!info.isSymLink(), "no link made");
        fuzz::check(info.isDir() || info.fileName().endsWith(u".url"_qs), "only shortcut files");
    }
    return 0;
}
