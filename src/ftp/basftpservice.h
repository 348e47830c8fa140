#pragma once

#include <QString>

// One upload of one file over its own FTP connection. Never throws: every failure, on the
// way in or on the wire, answers false, and each wait on the server is bounded.
namespace basftpservice {

// A file naming further CA certificates to trust beside the system's, for servers whose
// certificate comes from a private authority. Certificates are always verified.
inline constexpr char CaFileVariable[] = "VELLUMDEX_CA_FILE";

// libcurl 7.87 and 7.88 send the data of an active-mode FTPS transfer unencrypted; there
// FtpSendFile refuses active FTPS rather than expose the file.
bool ActiveFtpsSupported();

// server is "host" (port 21) or "host:port"; an IPv6 address goes in brackets when a port
// follows. The remote folder is entered after login; when that fails (or the folder is
// empty) the file goes to the login folder. remoteFile is sent as it stands in code page 932.
// localFolder must be absolute; it may or may not end in "/". tls asks for explicit FTPS
// (AUTH TLS) on the control and data connections. *error, when given, gets the reason.
bool FtpSendFile(const QString &server, const QString &remoteFile, const QString &remoteFolder,
                 const QString &uid, const QString &pwd, const QString &localFile,
                 const QString &localFolder, bool binary, bool passive, bool tls = false,
                 QString *error = nullptr);

} // namespace basftpservice
