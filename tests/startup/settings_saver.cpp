// SPDX-License-Identifier: GPL-3.0-or-later
// Saves settings through IniClass in a loop until it is killed: round n writes "Data" and then
// "Count" = n in section "System" of the file named by its argument, starting after the round
// that the file holds.
#include "SavedRound.h"
#include "settings/IniClass.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: settings_saver FILE\n");
        return 2;
    }
    IniClass ini;
    ini.SetFile(QString::fromLocal8Bit(argv[1]));
    ini.SetSection(u"System"_qs);
    // A line before the saves and after each one: the test kills at a random moment after a
    // random number of them, so that the kill lands among the saves.
    const auto said = [] {
        std::printf("saved\n");
        std::fflush(stdout);
    };
    said();
    for (qint64 n = ini.T_GetSetting(u"Count"_qs, u"0"_qs).toLongLong() + 1;; ++n) {
        if (!ini.T_SaveSetting(u"Data"_qs, savedRound(n)))
            return 1;
        said();
        if (!ini.T_SaveSetting(u"Count"_qs, QString::number(n)))
            return 1;
        said();
    }
}
