// SPDX-License-Identifier: GPL-3.0-or-later
#include "code_main.h"

#include "base/CheckedFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace code_main {

namespace {

IniClass settingsIni;
IniClass configIni;
bool testMode = false;
QString programFolder;

} // namespace

IniClass &SettingsIni()
{
    return settingsIni;
}

IniClass &ConfigIni()
{
    return configIni;
}

bool TestMode()
{
    return testMode;
}

void setTestMode(bool on)
{
    testMode = on;
}

bool IsTestModeCommandLine(const QStringList &arguments)
{
    return arguments.join(u' ') == u"/TestMode"_qs;
}

QString ProgramFolder()
{
    if (!programFolder.isEmpty())
        return programFolder;
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

void setProgramFolder(const QString &folder)
{
    programFolder = QDir::cleanPath(folder);
}

QString InstalledDataFolder()
{
    const QString data =
        QDir::cleanPath(ProgramFolder() + u'/' + QStringLiteral(VELLUMDEX_DATA_FROM_BIN));
    return QFileInfo(data + u"/Config"_qs).isDir() ? data : QString();
}

bool PortableSettings()
{
    const QString program = ProgramFolder();
    if (QFileInfo::exists(program + u"/Vellumdex.ini"_qs))
        return true;
    // Even where the user may write it (root), an installed program's folder is the system's.
    return InstalledDataFolder().isEmpty() && QFileInfo(program).isWritable();
}

QString SettingsFolder()
{
    if (PortableSettings())
        return ProgramFolder();
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           u"/Vellumdex"_qs;
}

QStringList DefinitionFolders()
{
    const QString installed = InstalledDataFolder();
    QStringList folders{installed.isEmpty() ? ProgramFolder() : installed};
    if (!PortableSettings())
        folders += QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                   u"/Vellumdex"_qs;
    return folders;
}

QString DefaultOutputFolder()
{
    return PortableSettings() ? ProgramFolder() : QDir::homePath();
}

void Startup(const QStringList &arguments)
{
    testMode = IsTestModeCommandLine(arguments);
    const QString folder = SettingsFolder();
    if (folder != ProgramFolder()) {
        // The passwords are in there: nobody but the owner may list or read it.
        const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        QDir().mkpath(QFileInfo(folder).path());
        if (!QDir().mkdir(folder, ownerOnly))
            QFile::setPermissions(folder, ownerOnly);
    }
    settingsIni.SetFile(folder + u"/Vellumdex.ini"_qs);
    settingsIni.SetSection(u"System"_qs);
    // It holds the stored passwords: owner-only after every write, whatever it was before.
    settingsIni.SetOwnerOnly(true);
    configIni.SetFile(folder + u"/Config.ini"_qs);
    // What a killed run left beside the settings (a copy of the stored passwords among them)
    // and in the temporary folder goes now, not at the next save.
    CheckedFile::removeStrays(folder);
    CheckedFile::removeStrays(QDir::tempPath());
}

QString GetVersionText(const QString &prefix)
{
    return GetVersionText(prefix, VELLUMDEX_VERSION_MAJOR, VELLUMDEX_VERSION_MINOR,
                          VELLUMDEX_VERSION_REVISION);
}

QString GetVersionText(const QString &prefix, int major, int minor, int revision)
{
    QString text = prefix + QString::number(major) + u'.' + QString::number(minor + 100).right(2);
    if (revision >= 1 && revision <= 99)
        text += u"β"_qs + QString::number(revision);
    else if (revision >= 101)
        text += QChar(char16_t(revision - 4));
    return text;
}

QString GetFavoritesFolder()
{
    const QString home = QDir::homePath();
    const QString favorites = home + u"/Favorites"_qs;
    return QFileInfo(favorites).isDir() ? favorites : QString();
}

QString GetDesktopFolder()
{
    // The XDG user folders name the desktop; QStandardPaths falls back to the home folder
    // when none is set, which is no desktop.
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty() || QDir::cleanPath(desktop) == QDir::cleanPath(QDir::homePath()))
        return QFileInfo(QDir::homePath() + u"/Desktop"_qs).isDir()
                   ? QDir::homePath() + u"/Desktop"_qs
                   : QString();
    return QFileInfo(desktop).isDir() ? desktop : QString();
}

} // namespace code_main
