// SPDX-License-Identifier: GPL-3.0-or-later
#include "SortItems.h"

#include "base/RunError.h"

#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

// Full-width to half-width forms, built once from the compatibility forms of the half-width
// block so that no table is written by hand.
const QHash<char16_t, QString> &narrowTable()
{
    static const QHash<char16_t, QString> table = [] {
        QHash<char16_t, QString> t;
        for (char16_t c = 0xff01; c <= 0xff5e; ++c)
            t.insert(c, QString(QChar(char16_t(c - 0xfee0))));
        t.insert(0x3000, u" "_qs);
        t.insert(0xffe5, u"\\"_qs);
        t.insert(0xffe3, u"~"_qs);
        t.insert(0x2018, u"'"_qs);
        t.insert(0x2019, u"'"_qs);
        t.insert(0x201c, u"\""_qs);
        t.insert(0x201d, u"\""_qs);
        t.insert(0x309b, QString(QChar(char16_t(0xff9e))));
        t.insert(0x309c, QString(QChar(char16_t(0xff9f))));
        for (char16_t h = 0xff61; h <= 0xff9d; ++h) {
            const QString full = QString(QChar(h)).normalized(QString::NormalizationForm_KC);
            if (full.size() == 1)
                t.insert(full.at(0).unicode(), QString(QChar(h)));
        }
        for (char16_t k = 0x30a1; k <= 0x30fa; ++k) {
            const QString d = QString(QChar(k)).normalized(QString::NormalizationForm_D);
            if (d.size() != 2)
                continue;
            const auto base = t.constFind(d.at(0).unicode());
            if (base == t.cend())
                continue;
            if (d.at(1).unicode() == 0x3099)
                t.insert(k, *base + QChar(char16_t(0xff9e)));
            else if (d.at(1).unicode() == 0x309a)
                t.insert(k, *base + QChar(char16_t(0xff9f)));
        }
        return t;
    }();
    return table;
}

} // namespace

QString SortItems::nameKey(const QString &name)
{
    const QHash<char16_t, QString> &t = narrowTable();
    const QString upper = name.toUpper();
    QString key;
    key.reserve(upper.size());
    for (const QChar c : upper) {
        // The table holds no ASCII character: most names never look it up.
        if (c.unicode() < 0x80) {
            key += c;
            continue;
        }
        const auto it = t.constFind(c.unicode());
        if (it == t.cend())
            key += c;
        else
            key += *it;
    }
    return key;
}

void SortItems::sort(QStringList &items, const QString &prefix, int order, bool desc)
{
    const qsizetype n = items.size();
    std::vector<qsizetype> index(n);
    std::iota(index.begin(), index.end(), 0);
    if (order == ByDate) {
        std::vector<qint64> keys(n);
        for (qsizetype i = 0; i < n; ++i) {
            const QFileInfo info(prefix + items.at(i));
            const QDateTime modified = info.lastModified();
            if (!modified.isValid())
                throw RunError(u"更新日時を読み出せません ["_qs + prefix + items.at(i) + u"]"_qs);
            keys[i] = modified.toSecsSinceEpoch();
        }
        std::stable_sort(index.begin(), index.end(),
                         [&](qsizetype a, qsizetype b) { return keys[a] < keys[b]; });
    } else {
        std::vector<QString> keys(n);
        for (qsizetype i = 0; i < n; ++i)
            keys[i] = nameKey(items.at(i));
        std::stable_sort(index.begin(), index.end(), [&](qsizetype a, qsizetype b) {
            return QStringView(keys[a]).compare(QStringView(keys[b]), Qt::CaseSensitive) < 0;
        });
    }
    // Descending takes the last of equal keys first: the ascending order reversed.
    if (desc)
        std::reverse(index.begin(), index.end());
    QStringList sorted;
    sorted.reserve(n);
    for (qsizetype i : index)
        sorted.append(items.at(i));
    items = sorted;
}
