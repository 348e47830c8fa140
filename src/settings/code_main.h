// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "IniClass.h"

#include <QString>
#include <QStringList>

// The state that the windows and the command-line tool share, and the few helpers around it.
namespace code_main {

IniClass &SettingsIni();
IniClass &ConfigIni();

bool TestMode();
void setTestMode(bool on);
// The whole argument text must be exactly "/TestMode" (letter case counts).
bool IsTestModeCommandLine(const QStringList &arguments);

// The folder that holds the executable.
QString ProgramFolder();
void setProgramFolder(const QString &folder); // tests and tools that run from elsewhere

// Where both settings files live: the program folder when it holds "Vellumdex.ini" or the user
// can write it (a portable copy, the build folder); otherwise, and always for an installed
// program (one with InstalledDataFolder), $XDG_CONFIG_HOME/Vellumdex.
QString SettingsFolder();
bool PortableSettings();
// <prefix>/share/vellumdex found from the program's own path, or "" when not installed so.
QString InstalledDataFolder();
// The folders searched for definitions, each as a program folder: the installed data folder or
// the program folder, then, when the settings are not portable, $XDG_DATA_HOME/Vellumdex.
QStringList DefinitionFolders();
// Where a page goes unless the user chose: the program folder of a portable copy, else home.
QString DefaultOutputFolder();

// Steps of the start before any window: the test-mode flag, both settings files (section
// "System" current in SettingsIni). Creates no file; a settings folder outside the program
// folder is made (or left) owner-only.
void Startup(const QStringList &arguments);

QString GetVersionText(const QString &prefix);
QString GetVersionText(const QString &prefix, int major, int minor, int revision);

// "" when the system has no such folder.
QString GetFavoritesFolder();
QString GetDesktopFolder();

} // namespace code_main
