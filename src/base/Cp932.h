// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// Every text that Vellumdex reads from or writes to a file or the network passes here.
// Code page 932 as Windows has it: bytes 00-7F are ASCII unchanged, and a character the
// code page cannot hold (or bytes that name no character) become "?".
class Cp932
{
public:
    static QByteArray fromUnicode(QStringView text);
    // The same bytes added to the end of out.
    static void append(QByteArray &out, QStringView text);
    static QString toUnicode(QByteArrayView bytes);
    // The text as it comes back from a trip through the code page.
    static QString roundTrip(QStringView text) { return toUnicode(fromUnicode(text)); }
    static bool canHold(QStringView text);
};
