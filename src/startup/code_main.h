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

// The folder that holds the executable; both settings files live there, never in a profile.
QString ProgramFolder();
void setProgramFolder(const QString &folder); // tests and tools that run from elsewhere

// Steps of the start before any window: the test-mode flag, both settings files (section
// "System" current in SettingsIni). Creates no file.
void Startup(const QStringList &arguments);

QString GetVersionText(const QString &prefix);
QString GetVersionText(const QString &prefix, int major, int minor, int revision);

// "" when the system has no such folder.
QString GetFavoritesFolder();
QString GetDesktopFolder();

} // namespace code_main
