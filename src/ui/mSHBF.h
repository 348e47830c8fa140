// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

class QWidget;

// The modal folder chooser: the caller sets title, owner and start folder, then browses. The
// values stay set until they are set again.
namespace mSHBF {

void SetTitle(const QString &title);
void SetOwner(QWidget *owner);
void SetStartFolder(const QString &path);
// The chosen folder's path, or "" when the user cancelled.
QString BrowseFolder();

// What shows the chooser: Qt's directory dialog unless replaced (the window tests answer it
// themselves, a file dialog cannot be driven offscreen). An empty function restores Qt's.
using FolderDialog =
    std::function<QString(QWidget *owner, const QString &title, const QString &startFolder)>;
void setFolderDialog(FolderDialog dialog);

} // namespace mSHBF
