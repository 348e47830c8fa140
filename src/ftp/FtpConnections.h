// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FtpConnectionData.h"

#include <QList>
#include <QSharedPointer>
#include <QStringList>

#include <optional>

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

// One edit of the list: a connection as it was loaded (none: added) and as it is to be stored
// (none: deleted).
struct FtpListChange
{
    std::optional<FtpConnectionData> before;
    std::optional<FtpConnectionData> after;
};
// Stores these edits and nothing else: the list is read again as the settings file holds it
// now, under a lock that other windows and programs saving take too, so the connections they
// changed meanwhile stay as they made them. A connection changed elsewhere as well keeps both:
// this edit is added beside it. Leaves FtpConnections as saved.
bool SaveFtpChanges(const QList<FtpListChange> &changes, QString *error = nullptr);

} // namespace run
