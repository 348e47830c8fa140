// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProfileEscape.h"

#include "base/Cp932.h"

#include <QList>

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool hasBlankEnds(QStringView s)
{
    return !s.isEmpty() && (isBlank(s.front()) || isBlank(s.back()));
}

// A character that cannot go into a stored name or value of this kind as it stands.
bool needsReference(char32_t c, ProfileEscape::Kind kind)
{
    if (c < 0x20 && c != u'\t')
        return true;
    if ((kind == ProfileEscape::Kind::Section && c == u']') ||
        (kind == ProfileEscape::Kind::Key && c == u'='))
        return true;
    if (c < 0x80)
        return false;
    const QString one = QString::fromUcs4(&c, 1);
    return !Cp932::canHold(one);
}

bool needsMarker(QStringView text, ProfileEscape::Kind kind)
{
    if (text.startsWith(ProfileEscape::Marker))
        return true;
    if (kind == ProfileEscape::Kind::Key && text.startsWith(u'['))
        return true; // the line would read as a section header
    if (kind != ProfileEscape::Kind::Value && hasBlankEnds(text))
        return true;
    for (const char32_t c : text.toUcs4()) {
        if (needsReference(c, kind))
            return true;
    }
    return false;
}

void appendReference(QString &out, char32_t c)
{
    out += u"&#x"_qs + QString::number(c, 16).toUpper() + u';';
}

} // namespace

QString ProfileEscape::encode(QStringView text, Kind kind)
{
    if (!needsMarker(text, kind)) {
        const bool quoted = text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'') &&
                            text.back() == text.front();
        if (kind == Kind::Value && (hasBlankEnds(text) || quoted))
            return u'"' + text.toString() + u'"';
        return text.toString();
    }
    const QList<uint> chars = text.toUcs4();
    QString out = Marker.toString();
    out.reserve(text.size() + 16);
    for (qsizetype i = 0; i < chars.size(); ++i) {
        const char32_t c = chars.at(i);
        if (c == u'&')
            out += u"&amp;"_qs;
        else if (needsReference(c, kind) || (i + 1 == chars.size() && isBlank(QChar(c))))
            appendReference(out, c); // a blank at the end would be trimmed on read
        else
            out += QString::fromUcs4(&c, 1);
    }
    return out;
}

QString ProfileEscape::decode(QStringView stored)
{
    if (!stored.startsWith(Marker))
        return stored.toString();
    const QStringView body = stored.mid(Marker.size());
    QString out;
    out.reserve(body.size());
    for (qsizetype i = 0; i < body.size(); ++i) {
        if (body[i] != u'&') {
            out += body[i];
            continue;
        }
        const QStringView rest = body.mid(i);
        if (rest.startsWith(u"&amp;")) {
            out += u'&';
            i += 4;
            continue;
        }
        const qsizetype semicolon = rest.indexOf(u';');
        bool ok = false;
        uint c = 0;
        if (rest.startsWith(u"&#x") && semicolon > 3)
            c = rest.mid(3, semicolon - 3).toUInt(&ok, 16);
        else if (rest.startsWith(u"&#") && semicolon > 2)
            c = rest.mid(2, semicolon - 2).toUInt(&ok, 10);
        if (ok && c <= 0x10ffff && !(c >= 0xd800 && c < 0xe000)) {
            const char32_t cp = c;
            out += QString::fromUcs4(&cp, 1);
            i += semicolon;
        } else {
            out += u'&'; // not a reference: kept as it stands
        }
    }
    return out;
}
