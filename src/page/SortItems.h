// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The order of folders and shortcuts on a sorted page. Ascending keeps equal keys in listing
// order; descending gives them in reverse listing order (the last of them first). Each key is
// computed once.
class SortItems
{
public:
    enum Order
    {
        ByName = 1,
        ByDate = 2
    };

    // Items are full paths (prefix empty) or names in the folder prefix. Throws RunError when
    // a date cannot be read.
    static void sort(QStringList &items, const QString &prefix, int order, bool desc);

    // Upper case, then full-width letters, digits, symbols and katakana in their half-width
    // forms (a voiced katakana becomes two characters).
    static QString nameKey(const QString &name);
};
