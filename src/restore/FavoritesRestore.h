// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// Rebuilds folders and shortcut files from the restore block of a page. The page is
// untrusted: every record is checked before anything is made, and nothing is ever written
// outside the chosen base folder. The page is read as a stream, and each folder is reached
// from the one before it, so time and memory grow with the page, whatever its nesting.
class FavoritesRestore : public QObject
{
    Q_OBJECT

public:
    // Answers false after logging the cause; what was made before a fault stays.
    bool DecodeFile(const QString &LoadFile, const QString &BasePath);

    // Whether a name can be a file or folder name here: not empty, ".", "..", no "/" or "\",
    // no control character, and not longer than a file system takes.
    static bool isSafeName(const QString &name);

signals:
    void logLine(const QString &line);
    void progress(qint64 value, qint64 maximum);

private:
    bool fail(const QString &message);
};
