// SPDX-License-Identifier: GPL-3.0-or-later
#include "basftpservice.h"

#include "FtpSession.h"
#include "base/CheckedFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <curl/curl.h>

namespace basftpservice {

QString HostKey::Fingerprint() const
{
    return u"SHA256:"_qs +
           QString::fromLatin1(QCryptographicHash::hash(blob, QCryptographicHash::Sha256)
                                   .toBase64(QByteArray::OmitTrailingEquals));
}

QString HostKey::KindName() const
{
    if (type.startsWith("ecdsa-"))
        return u"ECDSA"_qs;
    if (type == "ssh-ed25519")
        return u"ED25519"_qs;
    if (type == "ssh-rsa")
        return u"RSA"_qs;
    if (type == "ssh-dss")
        return u"DSA"_qs;
    return QString::fromLatin1(type);
}

QString KnownHostsFile()
{
    return QDir::homePath() + u"/.ssh/known_hosts"_qs;
}

namespace {

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

} // namespace

bool AddKnownHost(const HostKey &key, QString *error)
{
    const QString folder = QDir::homePath() + u"/.ssh"_qs;
    if (!QFileInfo::exists(folder) &&
        (!QDir().mkpath(folder) ||
         !QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)))
        return fail(error, u"フォルダ「"_qs + folder + u"」を作成できません"_qs);
    const QString path = KnownHostsFile();
    QByteArray content;
    if (QFileInfo::exists(path)) {
        QFile old(path);
        if (old.open(QIODevice::ReadOnly))
            content = old.readAll();
        if (!old.isOpen() || old.error() != QFile::NoError)
            return fail(error, u"「"_qs + path + u"」を読めません"_qs);
    }
    if (key.type.isEmpty() || key.blob.isEmpty() || key.host.contains(u' '))
        return fail(error, u"ホスト鍵を読み取れませんでした"_qs);
    if (!content.isEmpty() && !content.endsWith('\n'))
        content += '\n';
    // OpenSSH's own file: its format, LF line ends. Replaced in one step, so a full disk
    // leaves the old file.
    content += key.host.toUtf8() + ' ' + key.type + ' ' + key.blob.toBase64() + '\n';
    QString why;
    if (!CheckedFile::writeFile(path, content, &why))
        return fail(error, u"「"_qs + path + u"」に書き込めません（"_qs + why + u'）');
    return true;
}

bool ActiveFtpsSupported()
{
    const unsigned version = curl_version_info(CURLVERSION_NOW)->version_num;
    return version < 0x075700 || version >= 0x080000;
}

bool SftpSupported()
{
    for (const char *const *p = curl_version_info(CURLVERSION_NOW)->protocols; p && *p; ++p)
        if (qstrcmp(*p, "sftp") == 0)
            return true;
    return false;
}

bool FtpSendFile(const QString &server, const QString &remoteFile, const QString &remoteFolder,
                 const QString &uid, const QString &pwd, const QString &localFile,
                 const QString &localFolder, bool binary, bool passive, Protocol protocol,
                 const QString &keyFile, QString *error, HostKey *unknownHost)
{
    FtpConnectionData connection;
    connection.server = server;
    connection.folder = remoteFolder;
    connection.user = uid;
    connection.password = pwd;
    connection.passive = passive;
    connection.protocol = protocol;
    connection.keyFile = protocol == Protocol::Sftp ? keyFile : QString();
    const QString localPath = localFolder.endsWith(u'/') || localFile.isEmpty()
                                  ? localFolder + localFile
                                  : localFolder + u'/' + localFile;
    FtpSession session(connection);
    const bool sent = session.Put(localPath, remoteFile, binary);
    if (error)
        *error = session.LastError();
    if (unknownHost && !sent)
        *unknownHost = session.UnknownHost();
    return sent;
}

} // namespace basftpservice
