// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// An SSH server's host key judged against known_hosts as OpenSSH judges it: plain and hashed
// host names, patterns with "*", "?" and "!", "[host]:port"; an @revoked line refuses its key;
// @cert-authority lines and key types this program does not know are passed over without
// hiding the lines after them.
class KnownHosts
{
public:
    enum class Verdict
    {
        Known,
        Unknown,   // nothing for this host: the user may trust the key
        Changed,   // the host is known by another key of the same type
        OtherType, // the host is known only by keys of other types
        Revoked
    };
    struct Entry
    {
        QByteArray type;
        QByteArray blob;
        QString where; // "file:line"
    };

    explicit KnownHosts(const QString &path);

    // host as known_hosts names it: "host" on port 22, "[host]:port" otherwise.
    Verdict Judge(const QString &host, const QByteArray &type, const QByteArray &blob) const;
    // The entries for host (revoked ones left out), for the verdicts that name them.
    QList<Entry> EntriesFor(const QString &host) const;
    // Where the @revoked line for this key is.
    QString RevokedAt(const QString &host, const QByteArray &blob) const;

    static bool HostMatches(const QByteArray &patterns, const QByteArray &host);

private:
    struct Line
    {
        bool revoked = false;
        QByteArray hosts;
        Entry entry;
    };
    QList<Line> m_lines;
};
