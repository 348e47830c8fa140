#pragma once

#include <QList>
#include <QSharedPointer>
#include <QStringList>

class cls_FtpData;

// The stored FTP connections that the windows and the command-line tool share. They live
// here, above the settings store and the transfer, because they are made of both.
namespace run {

// The whole start before any window: code_main::Startup, then the stored connections.
void Startup(const QStringList &arguments);

// The stored FTP connections in their stored order: Data_1 is at index 0.
using FtpConnectionList = QList<QSharedPointer<cls_FtpData>>;
FtpConnectionList &FtpConnections();
// Rebuilds FtpConnections from section "FTP" of the settings file (new objects; holders of
// old ones keep detached records). Leaves "FTP" the current section of SettingsIni.
void LoadFtpList();
// Rewrites section "FTP" from FtpConnections in one replace of the file. False, with the
// file as it was, when the file cannot be read or written; *error then names the cause.
bool SaveFtpList(QString *error = nullptr);

} // namespace run
