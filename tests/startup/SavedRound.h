// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What round n of the settings saver writes as "Data": long enough that a torn write shows,
// in characters that take two bytes in code page 932, and carrying its round number.
inline QString savedRound(qint64 n)
{
    return (u"設定値"_qs + QString::number(n) + u';').repeated(400);
}
