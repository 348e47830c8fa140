#pragma once

// The synthetic favorites tree that every benchmark converts and restores.

#include "startup/Cp932.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <utime.h>

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
    }
}
