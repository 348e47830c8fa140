#pragma once

#include "IniClass.h"

#include <QList>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

class cls_FtpData;

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
// "System" current in SettingsIni), the stored FTP connections. Creates no file.
void Startup(const QStringList &arguments);

// The stored FTP connections in their stored order: Data_1 is at index 0.
using FtpConnectionList = QList<QSharedPointer<cls_FtpData>>;
FtpConnectionList &FtpConnections();
// Rebuilds FtpConnections from section "FTP" of the settings file (new objects; holders of
// old ones keep detached records). Leaves "FTP" the current section of SettingsIni.
void LoadFtpList();
// Rewrites section "FTP" from FtpConnections in one replace of the file. False, with the
// file as it was, when the file cannot be read or written.
bool SaveFtpList();

QString GetVersionText(const QString &prefix);
QString GetVersionText(const QString &prefix, int major, int minor, int revision);

// "" when the system has no such folder.
QString GetFavoritesFolder();
QString GetDesktopFolder();

} // namespace code_main
