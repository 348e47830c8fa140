// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIODevice>
#include <QString>

// A file written so that a failure loses nothing. Every write goes straight to the system and
// is checked; nothing is buffered that a late flush could lose.
// - Replace: the content goes to an unnamed file in the target's folder, which is synced,
//   named and renamed over the target only by commit(). Until then the target is as it was,
//   and a failure or a kill leaves no second copy under the target's name.
// - ReplaceMany: as Replace, without waiting for the disk before the rename: for the many
//   small files of a restore, where a sync each costs ten milliseconds a file. A failure or a
//   kill still leaves the old file or the new one.
// - NewOnly: the file is created where nothing is, not even a link, and written in place; a
//   failure removes it.
// A file that is never committed is removed. errorString() names the cause in Japanese.
class CheckedFile : public QIODevice
{
public:
    enum class Mode
    {
        Replace,
        ReplaceMany,
        NewOnly
    };
    // A new file can be made readable by its owner only (OwnerOnly), or the file whether new
    // or not (OwnerOnlyAlways: it holds secrets). A replaced file otherwise keeps its mode.
    enum class Permissions
    {
        Default,
        OwnerOnly,
        OwnerOnlyAlways
    };

    explicit CheckedFile(const QString &path, Mode mode = Mode::Replace,
                         Permissions permissions = Permissions::Default);
    ~CheckedFile() override;
    CheckedFile(const CheckedFile &) = delete;
    CheckedFile &operator=(const CheckedFile &) = delete;

    bool open(OpenMode mode = WriteOnly) override;
    bool isSequential() const override { return true; }
    bool commit();
    void cancel();
    // The errno of the failure, 0 while there is none.
    int error() const { return m_error; }

    // Writes a whole file; false with the cause in *error.
    static bool writeFile(const QString &path, const QByteArray &bytes, QString *error = nullptr,
                          Mode mode = Mode::Replace,
                          Permissions permissions = Permissions::Default);

    // One of the many small files of a restore or an import, named below the folder open as
    // dirFd, given the modification time date (Unix seconds; 0 or less leaves it). It is
    // created only where nothing is, not even a link, so nothing is written through a link
    // planted there; one already there is replaced through a temporary file renamed over
    // it (as ReplaceMany), which replaces a link itself, never what it leads to, and a
    // failure leaves the old file as it was. Answers 0, or the errno of the failure.
    static int writeSmallFile(int dirFd, const QByteArray &name, const QByteArray &data,
                              qint64 date);

    // A fresh name in folder that removeStrays recognises. It is short whatever the final
    // name's length, so any name that can be created can also be replaced. A file committed
    // under such a name stays locked (not a stray) until releaseTemporary() removes it.
    static QString temporaryName(const QString &folder);
    static void releaseTemporary(const QString &path);
    // Creates a file under a fresh temporary name in the folder open as dirFd, locked for as
    // long as the descriptor answered is open; the name in *name. -1 with errno on failure.
    static int createTemporary(int dirFd, QByteArray *name);
    // A fresh folder below folder for files another library must reach by name (a copy of a
    // browser's database), held locked like a temporary file: a killed run's is removed with
    // what it holds by the next removeStrays. Answers the descriptor that holds it (-1 on
    // failure) and its path in *path; releaseTemporaryFolder() removes it.
    static int createTemporaryFolder(const QString &folder, QString *path);
    static void releaseTemporaryFolder(const QString &path, int fd);
    // Removes the temporary files a killed run left in folder: those nobody holds locked (a
    // run holds its own locked from before they are named until they are renamed or
    // removed). Each folder is looked at once a process.
    static void removeStrays(const QString &folder);
    // The same in the folder open as dirFd, every time it is asked.
    static void removeStrays(int dirFd);

    // Opens the folder name below the folder open as dirFd, never through a link (errno ELOOP
    // for one); -1 with errno on failure.
    static int openFolderAt(int dirFd, const char *name);

    // Gives a file or folder its modification time (Unix seconds; 0 or less leaves it), the
    // time of access as it was: name below the folder open as dirFd, or with no name the file
    // open as dirFd itself.
    static void setModified(int dirFd, const char *name, qint64 seconds);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    bool fail(int error);
    void discard();

    QString m_path;
    Mode m_mode;
    Permissions m_permissions;
    int m_fd = -1;
    QString m_tempPath; // the named temporary file, where the folder takes no unnamed one
    int m_error = 0;
};
