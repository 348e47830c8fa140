// SPDX-License-Identifier: GPL-3.0-or-later
// Another program saving the stored connections beside the test: adds one connection, named
// and addressed by its second argument, to the settings file named by its first, as the FTP
// dialog saves its edits.
#include "ftp/FtpConnections.h"
#include "settings/code_main.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: ftp_list_editor FILE NAME\n");
        return 2;
    }
    code_main::SettingsIni().SetFile(QString::fromLocal8Bit(argv[1]));
    run::LoadFtpList();
    FtpConnectionData added;
    added.viewName = QString::fromLocal8Bit(argv[2]);
    added.server = added.viewName;
    added.password = u"pw"_qs;
    return run::SaveFtpChanges({{std::nullopt, added}}) ? 0 : 1;
}
