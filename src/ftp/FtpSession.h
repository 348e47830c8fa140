// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FtpConnectionData.h"
#include "basftpservice.h"

#include <QString>
#include <QStringList>

#include <memory>

// One login to an FTP, FTPS or SFTP server for all the files of one publication. The server
// is reached at the first Put and the connection kept for the next ones.
// Each file goes to a temporary name in its remote folder and is renamed over its target once
// it is all there, so the live file is the old one or the new one, never a part. A failed
// upload removes its temporary file while the server still answers; temporary files of a
// session that was cut off are removed by the next session that puts into that folder.
// A named remote folder is entered, or made when missing; one that can be neither fails.
class FtpSession
{
public:
    explicit FtpSession(const FtpConnectionData &connection);
    ~FtpSession();
    FtpSession(const FtpSession &) = delete;
    FtpSession &operator=(const FtpSession &) = delete;

    // Sends the local file localPath (absolute) under remoteName: binary, or FTP's ASCII mode.
    bool Put(const QString &localPath, const QString &remoteName, bool binary);

    // Why the last Put failed, in Japanese; empty after a success.
    QString LastError() const { return m_lastError; }
    // True once the server could not be reached, logged in to or waited for: every further Put
    // fails at once with the same cause, without trying again.
    bool Ended() const { return m_ended; }
    // For an SFTP server refused because known_hosts does not hold its key: the key.
    basftpservice::HostKey UnknownHost() const { return m_unknownHost; }
    // Log lines the last Put left beside its result.
    QStringList TakeNotes();
    // Forgets the connection (and an ended state): the next Put connects again.
    void Restart();

private:
    struct Transfer;
    bool fail(const QString &why);
    bool end(const QString &why);

    FtpConnectionData m_connection;
    std::unique_ptr<Transfer> m_transfer;
    QString m_lastError;
    bool m_ended = false;
    basftpservice::HostKey m_unknownHost;
    QStringList m_notes;
};
