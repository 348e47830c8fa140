// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// One upload of one file over its own FTP, FTPS or SFTP connection. Never throws: every
// failure, on the way in or on the wire, answers false with its cause in Japanese, and each
// wait on the server is bounded.
namespace basftpservice {

// A file naming further CA certificates to trust beside the system's, for servers whose
// certificate comes from a private authority. Certificates are always verified.
inline constexpr char CaFileVariable[] = "VELLUMDEX_CA_FILE";
// Bytes a second that an upload may send at most, for a slow line on loopback; unset: no limit.
inline constexpr char SendSpeedVariable[] = "VELLUMDEX_MAX_SEND_SPEED";

// Every wait on a server, in seconds.
inline constexpr int ConnectTimeoutSeconds = 10;  // TCP, TLS and the whole SSH login
inline constexpr int ResponseTimeoutSeconds = 15; // each FTP answer, active-mode accept too
inline constexpr int StallSeconds = 15;           // no byte and no answer for this long

enum class Protocol
{
    Ftp,
    Ftps, // explicit: AUTH TLS on the control and data connections
    Sftp
};

// An SSH server's host key as the server showed it.
struct HostKey
{
    QString host;    // as known_hosts names it: "host" on port 22, "[host]:port" otherwise
    QByteArray type; // "ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa", ...
    QByteArray blob; // the key itself
    QString known;   // for a changed key: "file:line" of the entry it contradicts, if found

    // As OpenSSH shows it: "SHA256:" and the unpadded base64 of the key's SHA-256.
    QString Fingerprint() const;
    // "ED25519", "ECDSA", "RSA": the name OpenSSH gives the kind of key.
    QString KindName() const;
};

// ~/.ssh/known_hosts, where every SFTP connection's host key is checked.
QString KnownHostsFile();
// Appends key to KnownHostsFile (made, owner-only, with ~/.ssh, if missing). *error gets the
// cause on failure.
bool AddKnownHost(const HostKey &key, QString *error);

// libcurl 7.87 and 7.88 send the data of an active-mode FTPS transfer unencrypted; there
// FtpSendFile refuses active FTPS rather than expose the file.
bool ActiveFtpsSupported();
// Whether this libcurl speaks SFTP at all.
bool SftpSupported();

// One file over a session of its own (FtpSession). server is "host" (port 21, SFTP 22) or
// "host:port"; an IPv6 address goes in brackets when a port follows. The file goes into the
// remote folder (relative to the login folder unless it starts with "/"; empty: the login
// folder), made when missing; a folder that can be neither entered nor made fails the
// transfer. Names go in code page 932 over FTP and FTPS, in UTF-8 over SFTP. localFolder must be
// absolute; it may or may not end in "/". keyFile (SFTP only) names the private key; empty takes
// the first of ~/.ssh/id_ed25519, id_ecdsa and id_rsa that exists, with the password as its
// passphrase and, should the key not be taken, as the login password. *error gets the cause;
// *unknownHost, when given, the key of an SFTP server refused because known_hosts does not hold it.
bool FtpSendFile(const QString &server, const QString &remoteFile, const QString &remoteFolder,
                 const QString &uid, const QString &pwd, const QString &localFile,
                 const QString &localFolder, bool binary, bool passive,
                 Protocol protocol = Protocol::Ftp, const QString &keyFile = QString(),
                 QString *error = nullptr, HostKey *unknownHost = nullptr);

} // namespace basftpservice
