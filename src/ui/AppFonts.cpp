// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFonts.h"

#include <QApplication>
#include <QStringList>

namespace AppFonts {

namespace {

QFont withFamilies(const QStringList &families, int pointSize, bool bold)
{
    QFont font;
    font.setFamilies(families);
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

} // namespace

QFont gothic(int pointSize, bool bold)
{
    return withFamilies(
        {u"ＭＳ Ｐゴシック"_qs, u"Noto Sans CJK JP"_qs, u"IPAPGothic"_qs, u"IPAGothic"_qs},
        pointSize, bold);
}

QFont mincho(int pointSize, bool bold)
{
    return withFamilies({u"ＭＳ Ｐ明朝"_qs, u"Noto Serif CJK JP"_qs, u"IPAPMincho"_qs,
                         u"IPAMincho"_qs, u"Noto Sans CJK JP"_qs},
                        pointSize, bold);
}

void install()
{
    QApplication::setFont(gothic(9));
}

} // namespace AppFonts
