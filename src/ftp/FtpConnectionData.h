// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "basftpservice.h"

#include <QString>

// What one stored connection is: copied whole wherever a connection goes (the run's own copy,
// the dialog's edits), so no field can be left behind by a copy.
struct FtpConnectionData
{
    QString viewName;
    QString server;
    QString folder;
    QString user;
    QString password;
    bool passive = false;
    basftpservice::Protocol protocol = basftpservice::Protocol::Ftp;
    QString keyFile; // SFTP: the private key to log in with; empty takes one from ~/.ssh

    friend bool operator==(const FtpConnectionData &a, const FtpConnectionData &b)
    {
        return a.viewName == b.viewName && a.server == b.server && a.folder == b.folder &&
               a.user == b.user && a.password == b.password && a.passive == b.passive &&
               a.protocol == b.protocol && a.keyFile == b.keyFile;
    }
    friend bool operator!=(const FtpConnectionData &a, const FtpConnectionData &b)
    {
        return !(a == b);
    }
};
