#pragma once

#include <QString>
#include <QStringList>

// What one folder holds: full paths of its subfolders and bare names of its files, in the
// order an NTFS volume lists them, so that an unsorted page is the same on every system.
class cls_FileSystemObject
{
public:
    // Both accept the folder with or without a trailing "/". A folder that does not exist or
    // cannot be read throws RunError.
    QStringList Folders(const QString &folderPath) const;
    QStringList Files(const QString &folderPath) const;

    // NTFS order: names compared upper-cased, code unit by code unit; names equal that way
    // in the order of their own code units.
    static void sortLikeNtfs(QStringList &names);

private:
    enum class Kind
    {
        Folders,
        Files
    };
    QStringList list(const QString &folderPath, Kind kind) const;
};
