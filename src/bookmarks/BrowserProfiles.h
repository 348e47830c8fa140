// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The browsers' profiles in a user's home folder, where each browser keeps them: Firefox below
// ~/.mozilla/firefox (profiles.ini), the Chromium family below ~/.config (or $XDG_CONFIG_HOME),
// each also where its Flatpak (~/.var/app/…) and Snap (~/snap/…) packages keep them.
class BrowserProfiles
{
public:
    struct Profile
    {
        QString browser; // one of names()
        QString name;
        QString path; // the profile folder
        bool isDefault = false;
    };

    // firefox, chromium, chrome, edge, brave, vivaldi
    static QStringList names();
    // Every profile found, browser by browser, each browser's default profile first.
    static std::vector<Profile> find(const QString &home, const QString &configHome);
    // From $HOME and $XDG_CONFIG_HOME.
    static std::vector<Profile> find();
    // The profiles a profiles.ini in folder lists: the Install section's Default is the
    // default profile, else the one marked Default=1, else the only one.
    static std::vector<Profile> firefoxProfiles(const QString &folder);

    // The bookmarks of a profile folder (Firefox's places.sqlite, the others' Bookmarks; either
    // when browser is empty); a file is itself. Empty with *error set when there are none.
    static QString bookmarksIn(const QString &path, const QString &browser, QString *error);
    // The bookmarks of browser's default profile; empty with *error set when none is found.
    static QString defaultBookmarks(const QString &browser, QString *error);
};
