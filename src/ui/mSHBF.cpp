// SPDX-License-Identifier: GPL-3.0-or-later
#include "mSHBF.h"

#include <QFileDialog>
#include <QPointer>

namespace mSHBF {

namespace {

QString title;
QPointer<QWidget> owner;
QString startFolder;
FolderDialog folderDialog;

QString qtFolderDialog(QWidget *parent, const QString &caption, const QString &start)
{
    // Only folders of the file system can be confirmed.
    return QFileDialog::getExistingDirectory(parent, caption, start, QFileDialog::ShowDirsOnly);
}

} // namespace

void SetTitle(const QString &text)
{
    title = text;
}

void SetOwner(QWidget *window)
{
    owner = window;
}

void SetStartFolder(const QString &path)
{
    startFolder = path;
}

QString BrowseFolder()
{
    const QString chosen = folderDialog ? folderDialog(owner.data(), title, startFolder)
                                        : qtFolderDialog(owner.data(), title, startFolder);
    return chosen.isNull() ? QString(u""_qs) : chosen;
}

void setFolderDialog(FolderDialog dialog)
{
    folderDialog = std::move(dialog);
}

} // namespace mSHBF
