// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// What one folder holds: full paths of its subfolders and bare names of its files, in the
// order an NTFS volume lists them, so that an unsorted page is the same on every system.
class cls_FileSystemObject
{
public:
    // One entry of a listing: the name as the file system holds it (any bytes), and as text.
    struct Entry
    {
        QByteArray bytes;
        QString name;
        bool folder = false;
    };

    // Both accept the folder with or without a trailing "/". A folder that does not exist or
    // cannot be read throws RunError.
    QStringList Folders(const QString &folderPath) const;
    QStringList Files(const QString &folderPath) const;

    // Folders (links to folders followed) and regular files of the folder whose path bytes
    // end in "/", in NTFS order of their names. Anything else (a FIFO, a device, a socket, a
    // broken link) is left out with a message and never opened. Throws RunError as above.
    // With folderFd, the folder is the one open as folderFd, and folderPath names it in
    // messages only.
    std::vector<Entry> Entries(const QByteArray &folderPath, int folderFd = -1) const;

    // A name as text: UTF-8 when its bytes are UTF-8, else code page 932, as a Windows
    // archive leaves them.
    static QString decodeName(QByteArrayView bytes);
};
