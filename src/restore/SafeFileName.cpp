// SPDX-License-Identifier: GPL-3.0-or-later
#include "SafeFileName.h"

namespace {

QChar replacement(QChar c)
{
    switch (c.unicode()) {
    case u'\\':
        return QChar(u'＼');
    case u'/':
        return QChar(u'／');
    case u':':
        return QChar(u'：');
    case u'*':
        return QChar(u'＊');
    case u'?':
        return QChar(u'？');
    case u'"':
        return QChar(u'＂');
    case u'<':
        return QChar(u'＜');
    case u'>':
        return QChar(u'＞');
    case u'|':
        return QChar(u'｜');
    default:
        break;
    }
    const char16_t u = c.unicode();
    if (u < 0x20 || (u >= 0x7f && u < 0xa0))
        return QChar(u' ');
    return c;
}

qsizetype utf8Bytes(QStringView text)
{
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x80)
            bytes += 1;
        else if (u < 0x800)
            bytes += 2;
        else if (QChar::isHighSurrogate(u) && i + 1 < text.size() &&
                 QChar::isLowSurrogate(text[i + 1].unicode())) {
            bytes += 4;
            ++i;
        } else
            bytes += 3;
    }
    return bytes;
}

void trimEnds(QString &name)
{
    qsizetype from = 0;
    while (from < name.size() && name.at(from) == u' ')
        ++from;
    qsizetype to = name.size();
    while (to > from && (name.at(to - 1) == u' ' || name.at(to - 1) == u'.'))
        --to;
    name = name.sliced(from, to - from);
}

} // namespace

bool SafeFileName::isReserved(QStringView name)
{
    // Windows reserves the device names with any extension, and blanks before it do not help.
    QStringView stem = name.left(name.indexOf(u'.') < 0 ? name.size() : name.indexOf(u'.'));
    while (!stem.isEmpty() && stem.back() == u' ')
        stem.chop(1);
    static const char16_t *const names[] = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"};
    for (const char16_t *n : names) {
        if (stem.compare(QStringView(n), Qt::CaseInsensitive) == 0)
            return true;
    }
    if (stem.size() == 4 && (stem.first(3).compare(u"COM", Qt::CaseInsensitive) == 0 ||
                             stem.first(3).compare(u"LPT", Qt::CaseInsensitive) == 0)) {
        const char16_t d = stem[3].unicode();
        return (d >= u'0' && d <= u'9') || d == u'¹' || d == u'²' || d == u'³';
    }
    return false;
}

QString SafeFileName::clean(const QString &title)
{
    QString name = title;
    for (QChar &c : name)
        c = replacement(c);
    trimEnds(name);
    if (name.isEmpty())
        return u"無題"_qs;
    if (isReserved(name)) {
        qsizetype dot = name.indexOf(u'.');
        if (dot < 0)
            dot = name.size();
        while (dot > 0 && name.at(dot - 1) == u' ')
            --dot;
        name.insert(dot, u'_');
    }
    return name;
}

QString SafeFileName::fit(const QString &name, QStringView suffix, QStringView extension)
{
    const qsizetype budget = MaxBytes - utf8Bytes(suffix) - utf8Bytes(extension);
    if (utf8Bytes(name) <= budget)
        return name + suffix.toString();
    qsizetype bytes = 0;
    qsizetype end = 0;
    while (end < name.size()) {
        const qsizetype step = QChar::isHighSurrogate(name.at(end).unicode()) &&
                                       end + 1 < name.size() &&
                                       QChar::isLowSurrogate(name.at(end + 1).unicode())
                                   ? 2
                                   : 1;
        const qsizetype size = utf8Bytes(QStringView(name).sliced(end, step));
        if (bytes + size > budget)
            break;
        bytes += size;
        end += step;
    }
    QString cut = name.left(end);
    trimEnds(cut);
    if (cut.isEmpty())
        cut = u"無題"_qs;
    return cut + suffix.toString();
}

QString UniqueNames::take(const QString &name, QStringView extension)
{
    const QString first = SafeFileName::fit(name, QStringView(), extension);
    const QString firstKey = (first + extension.toString()).toCaseFolded();
    if (!m_used.contains(firstKey)) {
        m_used.insert(firstKey);
        return first;
    }
    // Many links of one title (say, a hundred thousand "無題") must not search from 2 each time.
    int &number = m_nextNumber[firstKey];
    number = qMax(number, 2);
    for (;; ++number) {
        const QString candidate =
            SafeFileName::fit(name, QString(u" ("_qs + QString::number(number) + u')'), extension);
        const QString key = (candidate + extension.toString()).toCaseFolded();
        if (!m_used.contains(key)) {
            m_used.insert(key);
            ++number;
            return candidate;
        }
    }
}
