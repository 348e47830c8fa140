// SPDX-License-Identifier: GPL-3.0-or-later
#include "KnownHosts.h"

#include <QFile>
#include <QMessageAuthenticationCode>

namespace {

bool wildcardMatches(const char *pattern, const char *text)
{
    for (;; ++pattern, ++text) {
        if (*pattern == '*') {
            while (*pattern == '*')
                ++pattern;
            if (!*pattern)
                return true;
            for (; *text; ++text)
                if (wildcardMatches(pattern, text))
                    return true;
            return false;
        }
        if (!*text)
            return !*pattern;
        if (*pattern != '?' && *pattern != *text)
            return false;
    }
}

// "|1|salt|hash": the HMAC-SHA1 of the name under the salt.
bool hashedMatches(const QByteArray &field, const QByteArray &host)
{
    const QList<QByteArray> parts = field.split('|');
    if (parts.size() != 4 || parts.at(1) != "1")
        return false;
    return QMessageAuthenticationCode::hash(host, QByteArray::fromBase64(parts.at(2)),
                                            QCryptographicHash::Sha1) ==
           QByteArray::fromBase64(parts.at(3));
}

} // namespace

KnownHosts::KnownHosts(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        QList<QByteArray> fields = file.readLine().simplified().split(' ');
        if (fields.value(0).isEmpty() || fields.value(0).startsWith('#'))
            continue;
        Line line;
        if (fields.value(0).startsWith('@')) {
            // A CA signs certificates, which this program does not take: not a key of the host.
            if (fields.value(0) != "@revoked")
                continue;
            line.revoked = true;
            fields.removeFirst();
        }
        if (fields.size() < 3)
            continue;
        line.hosts = fields.at(0);
        line.entry.type = fields.at(1);
        line.entry.blob = QByteArray::fromBase64(fields.at(2));
        line.entry.where = path + u':' + QString::number(number);
        if (!line.entry.blob.isEmpty())
            m_lines.append(line);
    }
}

bool KnownHosts::HostMatches(const QByteArray &patterns, const QByteArray &host)
{
    if (patterns.startsWith('|'))
        return hashedMatches(patterns, host);
    const QByteArray name = host.toLower();
    bool matched = false;
    for (const QByteArray &p : patterns.toLower().split(',')) {
        const bool negated = p.startsWith('!');
        const QByteArray pattern = negated ? p.mid(1) : p;
        if (!wildcardMatches(pattern.constData(), name.constData()))
            continue;
        if (negated)
            return false;
        matched = true;
    }
    return matched;
}

KnownHosts::Verdict KnownHosts::Judge(const QString &host, const QByteArray &type,
                                      const QByteArray &blob) const
{
    if (!RevokedAt(host, blob).isEmpty())
        return Verdict::Revoked;
    const QList<Entry> entries = EntriesFor(host);
    bool sameType = false;
    for (const Entry &e : entries) {
        if (e.blob == blob)
            return Verdict::Known;
        sameType = sameType || e.type == type;
    }
    return entries.isEmpty() ? Verdict::Unknown : sameType ? Verdict::Changed : Verdict::OtherType;
}

QList<KnownHosts::Entry> KnownHosts::EntriesFor(const QString &host) const
{
    const QByteArray name = host.toUtf8();
    QList<Entry> entries;
    for (const Line &l : m_lines)
        if (!l.revoked && HostMatches(l.hosts, name))
            entries.append(l.entry);
    return entries;
}

QString KnownHosts::RevokedAt(const QString &host, const QByteArray &blob) const
{
    const QByteArray name = host.toUtf8();
    for (const Line &l : m_lines)
        if (l.revoked && l.entry.blob == blob && HostMatches(l.hosts, name))
            return l.entry.where;
    return {};
}
