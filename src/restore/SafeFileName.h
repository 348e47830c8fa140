// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QSet>
#include <QString>

// File and folder names made from titles that came from elsewhere (a bookmark file), so that
// the tree they make can be used both here and on Windows: no character either forbids, no
// reserved device name, no name longer than a file system takes.
class SafeFileName
{
public:
    // Longest name in bytes of UTF-8, as Linux file systems count it; Windows counts
    // UTF-16 units, never more than that.
    static constexpr qsizetype MaxBytes = 255;

    // The characters Windows forbids in names become their full-width counterparts, control
    // characters blanks; blanks at either end and dots at the end go; CON, NUL, COM1 and the
    // other device names get "_"; an empty name becomes "無題".
    static QString clean(const QString &title);
    static bool isReserved(QStringView name);
    // name + suffix, the name cut (at a character, never inside one) so that
    // name + suffix + extension takes at most MaxBytes.
    static QString fit(const QString &name, QStringView suffix, QStringView extension);
};

// The names given in one folder: a name already given gets " (2)", " (3)" and so on. Names
// differing only in letter case count as the same, as they do on Windows.
class UniqueNames
{
public:
    // A clean name (SafeFileName::clean) with its extension: the name to use, without it.
    QString take(const QString &name, QStringView extension);

private:
    QSet<QString> m_used;             // case-folded, extension included
    QHash<QString, int> m_nextNumber; // per case-folded name: where the search goes on
};
