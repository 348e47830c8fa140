// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The synthetic favorites tree that every benchmark converts and restores.

#include "base/Cp932.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <functional>
#include <utime.h>

// One shortcut of the trees below, with a date from rng.
inline void makeShortcut(const QString &name, int made, QRandomGenerator &rng)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(name));
    file.write(Cp932::fromUnicode(u"[InternetShortcut]\r\nURL=https://example.com/"_qs +
                                  QString::number(made) + u"?q=検索&x=1\r\n"_qs));
    file.close();
    struct utimbuf t;
    t.actime = t.modtime = time_t(1600000000 + rng.bounded(100000));
    ::utime(QFile::encodeName(name).constData(), &t);
}

// Folders of 20 shortcuts, ten subfolders a folder, Japanese names.
inline void makeTree(const QString &root, int shortcuts)
{
    QRandomGenerator rng(7);
    const QStringList words{u"ニュース"_qs, u"検索"_qs,  u"開発"_qs, u"旅行"_qs, u"料理"_qs,
                            u"音楽"_qs,     u"Tools"_qs, u"Docs"_qs, u"天気"_qs, u"地図"_qs};
    QStringList folders{root};
    int made = 0;
    for (qsizetype f = 0; made < shortcuts; ++f) {
        const QString folder = folders.at(f % folders.size());
        if (f % 3 == 0 && folders.size() < shortcuts / 20 + 1) {
            // Ten subfolders a folder: a few levels, as real favorites have.
            const QString parent = folders.at((folders.size() - 1) / 10);
            const QString sub = parent + u'/' + words.at(rng.bounded(words.size())) + u' ' +
                                QString::number(folders.size());
            QDir().mkpath(sub);
            folders.append(sub);
        }
        for (int i = 0; i < 20 && made < shortcuts; ++i, ++made) {
            const QString name = folder + u"/リンク "_qs + QString::number(made) + u" "_qs +
                                 words.at(rng.bounded(words.size())) + u".url"_qs;
            makeShortcut(name, made, rng);
        }
    }
}

inline void makeLinks(const QString &folder, int first, int count, QRandomGenerator &rng)
{
    QDir().mkpath(folder);
    for (int i = first; i < first + count; ++i)
        makeShortcut(folder + u"/リンク "_qs + QString::number(i) + u" 検索 & 地図.url"_qs, i, rng);
}

// As browsers nest their bookmarks: folders of 100 links in chains of up to six levels.
inline void makeBrowserTree(const QString &root, int shortcuts)
{
    QRandomGenerator rng(7);
    QString parent = root;
    for (int made = 0, f = 0; made < shortcuts; made += 100, ++f) {
        const QString folder = (f % 6 == 0 ? root : parent) + u"/フォルダ "_qs + QString::number(f);
        makeLinks(folder, made, qMin(100, shortcuts - made), rng);
        parent = folder;
    }
}

// A chain of 1,000 folders (fewer for fewer shortcuts), the shortcuts spread evenly over it.
// Short names: the innermost path stays below the system's limit.
inline void makeDeepTree(const QString &root, int shortcuts)
{
    QRandomGenerator rng(7);
    const int depth = qMin(1000, shortcuts);
    QString folder = root;
    for (int d = 0, made = 0; d < depth; ++d) {
        folder += u"/f"_qs;
        const int count = (shortcuts - made) / (depth - d);
        QDir().mkpath(folder);
        for (int i = made; i < made + count; ++i)
            makeShortcut(folder + u"/"_qs + QString::number(i) + u".url"_qs, i, rng);
        made += count;
    }
}

// One folder holding a fifth of the shortcuts (20,000 of 100,000), the rest as makeTree lays
// them out.
inline void makeWideTree(const QString &root, int shortcuts)
{
    QRandomGenerator rng(11);
    const int wide = shortcuts / 5;
    makeTree(root, shortcuts - wide);
    makeLinks(root + u"/大きなフォルダ"_qs, shortcuts - wide, wide, rng);
}

struct TreeShape
{
    const char *name;
    std::function<void(const QString &, int)> make;
};

inline const QList<TreeShape> &treeShapes()
{
    static const QList<TreeShape> shapes{{"flat", makeTree},
                                         {"browser", makeBrowserTree},
                                         {"deep", makeDeepTree},
                                         {"wide", makeWideTree}};
    return shapes;
}

// "--shape NAME" at args[i]: the shape named is added to shapes and i moved past the name.
inline bool takeShapeArgument(const QStringList &args, qsizetype &i, QList<TreeShape> &shapes)
{
    if (args.at(i) != QLatin1StringView("--shape") || i + 1 >= args.size())
        return false;
    ++i;
    for (const TreeShape &shape : treeShapes()) {
        if (args.at(i) == QLatin1StringView(shape.name))
            shapes.append(shape);
    }
    return true;
}
