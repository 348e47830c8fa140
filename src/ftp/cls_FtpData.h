// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FtpConnectionData.h"
#include "basftpservice.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class FtpSession;

// One stored FTP, FTPS or SFTP connection: its record text in the settings file, and the
// upload of one file over it with events around the transfer.
class cls_FtpData : public QObject
{
    Q_OBJECT

public:
    explicit cls_FtpData(QObject *parent = nullptr);
    ~cls_FtpData() override;

    // The uploads between OpenSession and CloseSession (one publication) go over one login;
    // without a session each upload logs in on its own.
    void OpenSession();
    void CloseSession();
    // True once the open session can send nothing more: the server refused the login, could
    // not be reached or stopped answering. Further uploads are not worth trying.
    bool SessionEnded() const;

    // Both upload the local file FileName (full path) under the remote name FtpFile, raising
    // SendStart first and then exactly one of SendEnd and SendError.
    bool FtpPut_Text(const QString &FileName, const QString &FtpFile);
    bool FtpPut_Binary(const QString &FileName, const QString &FtpFile);

    using Protocol = basftpservice::Protocol;
    // Asked when an SFTP server's host key is not in known_hosts, with no connection open;
    // true adds the key there and sends again. May be called on any thread the upload runs on.
    using HostKeyQuestion = std::function<bool(const basftpservice::HostKey &key)>;

    // "name,server,folder,user,scrambled password,True|False", then for FTPS ",TLS" and for
    // SFTP ",SFTP", and when a key file is named for SFTP ",SFTP,path": readers that know six
    // fields ignore the rest, so records stay interchangeable with them both ways; a record of
    // six fields is FTP. Fields are not quoted; a "," in one of the first four shifts the rest.
    // The key path is the last field and may hold ",".
    QString ConnectData() const;
    void setConnectData(const QString &DataStr);

    // Whether a name, server, folder or user id can be stored and read back as it stands.
    static bool IsStorableField(const QString &text);

    // The connection's fields as one value: a copy of a connection is a copy of this.
    const FtpConnectionData &data() const { return m_data; }
    void setData(const FtpConnectionData &data) { m_data = data; }

    QString ViewName() const { return m_data.viewName; }
    void setViewName(const QString &v) { m_data.viewName = v; }
    QString FtpSrv() const { return m_data.server; }
    void setFtpSrv(const QString &v) { m_data.server = v; }
    QString FtpDir() const { return m_data.folder; }
    void setFtpDir(const QString &v) { m_data.folder = v; }
    QString FtpUid() const { return m_data.user; }
    void setFtpUid(const QString &v) { m_data.user = v; }
    QString FtpPwd() const { return m_data.password; }
    void setFtpPwd(const QString &v) { m_data.password = v; }
    bool FtpPassive() const { return m_data.passive; }
    void setFtpPassive(bool v) { m_data.passive = v; }
    Protocol FtpProtocol() const { return m_data.protocol; }
    void setFtpProtocol(Protocol v) { m_data.protocol = v; }
    // SFTP: the private key to log in with; empty takes one from ~/.ssh.
    QString FtpKeyFile() const { return m_data.keyFile; }
    void setFtpKeyFile(const QString &v) { m_data.keyFile = v; }
    // "FTP", "FTPS", "SFTP".
    static QString ProtocolName(Protocol protocol);

    void setHostKeyQuestion(HostKeyQuestion question) { m_hostKeyQuestion = std::move(question); }

    // Why the last upload failed, in Japanese; empty after a success.
    QString LastError() const { return m_lastError; }

signals:
    void SendStart(const QString &FtpFile);
    void SendEnd(const QString &FtpFile);
    void SendError(const QString &FtpFile);
    // A line for the log about the transfer under way, beside its result.
    void SendNote(const QString &line);

private:
    bool put(const QString &FileName, const QString &FtpFile, bool binary);

    FtpConnectionData m_data;
    HostKeyQuestion m_hostKeyQuestion;
    QString m_lastError;
    std::unique_ptr<FtpSession> m_session;
};
