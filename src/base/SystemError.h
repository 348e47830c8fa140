// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The cause of a failed file-system call, as a log line or a message names it: Japanese for
// the causes a user meets (a missing file, no permission, a full disk, ...), the system's own
// text for the rest.
class SystemError
{
public:
    static QString text(int error);
    // Makes a folder and its missing parents; the empty text, or the cause of the failure.
    static QString makeFolders(const QString &path);
    // The empty text for a file to read that is a plain file; otherwise why it is refused (a
    // FIFO, a device or a socket would wait or never end).
    static QString plainFileCause(const QString &path);
};
