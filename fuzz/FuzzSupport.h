// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bookmarks/BookmarkIcon.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

// What every target shares: a scratch folder of its own for the process, and a way to fail
// loudly (abort, so libFuzzer keeps the input) when a property of the reader does not hold.
namespace fuzz {

inline QString scratch()
{
    static QTemporaryDir dir;
    if (!dir.isValid())
        std::abort();
    return dir.path();
}

inline void writeFile(const QString &path, const char *data, size_t size)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(data, qint64(size)) != qint64(size))
        std::abort();
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

[[noreturn]] inline void broken(const char *what)
{
    std::fprintf(stderr, "property broken: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

inline void check(bool holds, const char *what)
{
    if (!holds)
        broken(what);
}

// Splits an input into pieces at NUL bytes, so that one input carries several texts.
inline QList<QByteArray> pieces(const char *data, size_t size, qsizetype count)
{
    QList<QByteArray> out = QByteArray(data, qsizetype(size)).split('\0');
    while (out.size() < count)
        out.append(QByteArray());
    return out;
}

// After a restore or an import into root/base from root/input: nothing beside the two, and
// below the base folders and ".url" files only (with an import's folder files and the icons in
// its icon folder), none of them a link.
inline void checkOnlyShortcutsBelow(const QString &root, const QString &input)
{
    const QDir::Filters all = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
    check(QDir(root).entryList(all) == QStringList({u"base"_qs, input}), "nothing outside the base");
    QDirIterator it(root + u"/base"_qs, all, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        check(!info.isSymLink(), "no link made");
        const bool importsOwn =
            info.fileName() == BookmarkIcon::folderFileName() ||
            info.path() == root + u"/base/"_qs + BookmarkIcon::folderName();
        check(info.isDir() || importsOwn ||
                  info.fileName().endsWith(u".url"_qs, Qt::CaseInsensitive),
              "only shortcut files");
    }
}

} // namespace fuzz
