// SPDX-License-Identifier: GPL-3.0-or-later
#include "CheckedFile.h"

#include "SystemError.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QRandomGenerator>
#include <QSet>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray StrayPrefix = ".vellumdex-tmp-";

QString folderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? u"."_qs : slash == 0 ? u"/"_qs : path.left(slash);
}

int closeChecked(int fd)
{
    // After a failed close the descriptor is gone all the same; EINTR leaves the data written.
    return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
}

// A temporary file is held under this lock from before it has a name until it is renamed or
// removed; one that nobody holds was left by a run that is gone, whatever machine or process
// namespace it ran in.
bool lockTemporary(int fd)
{
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

// Names the unnamed file fd in the folder dir.
int linkUnnamed(int fd, int dir, const char *name)
{
    static const QByteArray self = "/proc/self/fd/";
    if (::linkat(fd, "", dir, name, AT_EMPTY_PATH) == 0)
        return 0;
    if (errno == EEXIST)
        return EEXIST;
    const QByteArray proc = self + QByteArray::number(fd);
    return ::linkat(AT_FDCWD, proc.constData(), dir, name, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// Opens a fresh temporary name in dir for writing, already locked; the name in *name.
int openLockedTemporary(int dir, QByteArray *name, mode_t access)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray path = QFile::encodeName(CheckedFile::temporaryName(u"."_qs));
        *name = path.mid(path.lastIndexOf('/') + 1);
        const int fd = ::openat(dir, name->constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, access);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return -1;
        }
        // Between the name and the lock another run may have taken it for a stray.
        struct stat mine, named;
        if (lockTemporary(fd) && ::fstat(fd, &mine) == 0 &&
            ::fstatat(dir, name->constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            mine.st_ino == named.st_ino && mine.st_dev == named.st_dev)
            return fd;
        ::close(fd);
    }
    errno = EEXIST;
    return -1;
}

bool writeAll(int fd, const QByteArray &data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += n;
    }
    return true;
}

// Removes the files in the folder open as fd (a temporary folder holds no folders).
void emptyFolder(int fd)
{
    const int listed = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = listed < 0 ? nullptr : ::fdopendir(listed);
    if (!dir) {
        if (listed >= 0)
            ::close(listed);
        return;
    }
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            ::unlinkat(fd, entry->d_name, 0);
    }
    ::closedir(dir);
}

QMutex &heldMutex()
{
    static QMutex mutex;
    return mutex;
}

QHash<QString, int> &heldTemporaries()
{
    static QHash<QString, int> held;
    return held;
}

} // namespace

// The content is complete before it has its name: an unnamed file linked in, or where the
// folder takes none, a locked temporary name renamed. The temporary name is short, so that a
// name of any length that can be made can be replaced.
int CheckedFile::writeSmallFile(int dir, const QByteArray &name, const QByteArray &data,
                                qint64 date)
{
    int fd = ::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    const bool unnamed = fd >= 0;
    QByteArray temp;
    if (!unnamed && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return errno;
    if (!unnamed && (fd = openLockedTemporary(dir, &temp, 0666)) < 0)
        return errno;
    const auto finish = [&](int error) {
        if (!temp.isEmpty())
            ::unlinkat(dir, temp.constData(), 0);
        ::close(fd);
        return error;
    };
    if (!writeAll(fd, data))
        return finish(errno);
    setModified(fd, nullptr, date);
    if (unnamed) {
        const int linked = linkUnnamed(fd, dir, name.constData());
        if (linked != EEXIST) {
            ::close(fd);
            return linked;
        }
        // One is there (a file, or a link planted in its place): replaced by a rename, so
        // nothing is written through a link. Named only under the lock.
        QByteArray path;
        int error = EEXIST;
        for (int attempt = 0; attempt < 16 && error == EEXIST; ++attempt) {
            path = QFile::encodeName(temporaryName(u"."_qs));
            temp = path.mid(path.lastIndexOf('/') + 1);
            error = lockTemporary(fd) ? linkUnnamed(fd, dir, temp.constData()) : errno;
        }
        if (error != 0) {
            temp.clear();
            return finish(error);
        }
    } else {
        // A file system that reports write failures only at close: the data is checked
        // while the lock is held through a second descriptor.
        const int held = ::dup(fd);
        if (held < 0)
            return finish(errno);
        const int closed = closeChecked(fd);
        fd = held;
        if (closed != 0)
            return finish(closed);
        if (::renameat2(dir, temp.constData(), dir, name.constData(), RENAME_NOREPLACE) == 0) {
            ::close(fd);
            return 0;
        }
        if (errno != EEXIST && errno != EINVAL && errno != ENOSYS)
            return finish(errno);
    }
    if (::renameat(dir, temp.constData(), dir, name.constData()) != 0)
        return finish(errno);
    temp.clear();
    return finish(0);
}

CheckedFile::CheckedFile(const QString &path, Mode mode, Permissions permissions)
    : m_path(path), m_mode(mode), m_permissions(permissions)
{
}

CheckedFile::~CheckedFile()
{
    discard();
}

bool CheckedFile::fail(int error)
{
    m_error = error;
    setErrorString(SystemError::text(error));
    discard();
    return false;
}

void CheckedFile::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
        if (m_mode == Mode::NewOnly)
            ::unlink(QFile::encodeName(m_path).constData());
    }
    if (!m_tempPath.isEmpty()) {
        ::unlink(QFile::encodeName(m_tempPath).constData());
        m_tempPath.clear();
    }
}

void CheckedFile::cancel()
{
    discard();
    if (isOpen())
        QIODevice::close();
}

bool CheckedFile::open(OpenMode mode)
{
    if (isOpen() || !(mode & WriteOnly) || (mode & ReadOnly))
        return fail(EINVAL);
    m_error = 0;
    QByteArray target = QFile::encodeName(m_path);
    struct stat link;
    if (m_mode == Mode::Replace && ::lstat(target.constData(), &link) == 0 &&
        S_ISLNK(link.st_mode)) {
        // A page or settings file that is a link is replaced where the link leads, the link
        // itself kept. Shortcuts (ReplaceMany) replace the link: nothing is written through one.
        if (char *resolved = ::realpath(target.constData(), nullptr)) {
            target = resolved;
            std::free(resolved);
            m_path = QFile::decodeName(target);
        }
    }
    mode_t access = 0666;
    struct stat old;
    const bool replacing =
        m_mode != Mode::NewOnly && ::lstat(target.constData(), &old) == 0 && S_ISREG(old.st_mode);
    if (m_permissions == Permissions::OwnerOnlyAlways ||
        (m_permissions == Permissions::OwnerOnly && !replacing))
        access = 0600;
    if (m_mode == Mode::NewOnly) {
        m_fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      access);
    } else {
        const QByteArray folder = QFile::encodeName(folderOf(m_path));
        m_fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, access);
        if (m_fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
            // A file system without unnamed files: a name the next run recognises.
            removeStrays(folderOf(m_path));
            const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            QByteArray name;
            if (dir >= 0) {
                m_fd = openLockedTemporary(dir, &name, access);
                const int error = errno;
                ::close(dir);
                errno = error;
            }
            if (m_fd >= 0)
                m_tempPath = folderOf(m_path) + u'/' + QFile::decodeName(name);
        }
    }
    if (m_fd < 0)
        return fail(errno);
    if (replacing && access != 0600 && ::fchmod(m_fd, old.st_mode & 07777) != 0)
        return fail(errno);
    return QIODevice::open(WriteOnly | Unbuffered);
}

qint64 CheckedFile::readData(char *, qint64)
{
    return -1;
}

qint64 CheckedFile::writeData(const char *data, qint64 size)
{
    if (m_fd < 0)
        return -1;
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_fd, data + done, size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            fail(errno);
            return -1;
        }
        done += n;
    }
    return done;
}

bool CheckedFile::commit()
{
    if (m_fd < 0)
        return m_error == 0 ? fail(EBADF) : false;
    if (m_mode == Mode::NewOnly) {
        const int closed = closeChecked(m_fd);
        m_fd = -1;
        if (closed != 0) {
            ::unlink(QFile::encodeName(m_path).constData());
            return fail(closed);
        }
        QIODevice::close();
        return true;
    }
    // On the disk before its name is: a crash after the rename finds the whole file there.
    if (m_mode == Mode::Replace && ::fsync(m_fd) != 0)
        return fail(errno);
    if (m_tempPath.isEmpty()) {
        const QString folder = folderOf(m_path);
        removeStrays(folder);
        const QString name = temporaryName(folder);
        if (!lockTemporary(m_fd))
            return fail(errno);
        if (const int error = linkUnnamed(m_fd, AT_FDCWD, QFile::encodeName(name).constData()))
            return fail(error);
        m_tempPath = name;
    }
    // The lock stays on through a second descriptor until the file has its name.
    const int held = ::dup(m_fd);
    if (held < 0)
        return fail(errno);
    const int closed = closeChecked(m_fd);
    m_fd = held;
    if (closed != 0)
        return fail(closed);
    if (::rename(QFile::encodeName(m_tempPath).constData(),
                 QFile::encodeName(m_path).constData()) != 0)
        return fail(errno);
    m_tempPath.clear();
    // A temporary file of its own (the page on its way to a server) stays locked until
    // releaseTemporary().
    const QString fileName = m_path.mid(m_path.lastIndexOf(u'/') + 1);
    if (fileName.startsWith(QLatin1StringView(StrayPrefix))) {
        const QMutexLocker lock(&heldMutex());
        heldTemporaries().insert(m_path, m_fd);
    } else {
        ::close(m_fd);
    }
    m_fd = -1;
    QIODevice::close();
    return true;
}

int CheckedFile::createTemporary(int dirFd, QByteArray *name)
{
    return openLockedTemporary(dirFd, name, 0600);
}

int CheckedFile::createTemporaryFolder(const QString &folder, QString *path)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        *path = temporaryName(folder);
        const QByteArray name = QFile::encodeName(*path);
        if (::mkdir(name.constData(), 0700) != 0) {
            if (errno == EEXIST)
                continue;
            return -1;
        }
        const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat mine, named;
        if (fd >= 0 && lockTemporary(fd) && ::fstat(fd, &mine) == 0 &&
            ::lstat(name.constData(), &named) == 0 && mine.st_ino == named.st_ino &&
            mine.st_dev == named.st_dev)
            return fd;
        if (fd >= 0)
            ::close(fd);
    }
    errno = EEXIST;
    return -1;
}

void CheckedFile::releaseTemporaryFolder(const QString &path, int fd)
{
    if (fd < 0)
        return;
    emptyFolder(fd);
    ::rmdir(QFile::encodeName(path).constData());
    ::close(fd);
}

void CheckedFile::releaseTemporary(const QString &path)
{
    ::unlink(QFile::encodeName(path).constData());
    const QMutexLocker lock(&heldMutex());
    if (const int fd = heldTemporaries().take(path); fd > 0)
        ::close(fd);
}

bool CheckedFile::writeFile(const QString &path, const QByteArray &bytes, QString *error, Mode mode,
                            Permissions permissions)
{
    CheckedFile file(path, mode, permissions);
    if (file.open() && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

QString CheckedFile::temporaryName(const QString &folder)
{
    return folder + u'/' + QString::fromLatin1(StrayPrefix) +
           QString::number(QRandomGenerator::global()->generate64(), 36);
}

void CheckedFile::removeStrays(const QString &folder)
{
    static QMutex mutex;
    static QSet<QString> seen;
    {
        const QMutexLocker lock(&mutex);
        if (seen.contains(folder))
            return;
        seen.insert(folder);
    }
    const int dir =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return;
    removeStrays(dir);
    ::close(dir);
}

void CheckedFile::removeStrays(int dirFd)
{
    const int listed = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = listed < 0 ? nullptr : ::fdopendir(listed);
    if (!dir) {
        if (listed >= 0)
            ::close(listed);
        return;
    }
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, StrayPrefix.constData(), size_t(StrayPrefix.size())) != 0)
            continue;
        const int fd = ::openat(dirFd, entry->d_name,
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        // Removed under its lock, and only while the name is still that file.
        struct stat held, named;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
            (S_ISREG(held.st_mode) || S_ISDIR(held.st_mode)) &&
            ::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
            if (S_ISDIR(held.st_mode))
                emptyFolder(fd);
            ::unlinkat(dirFd, entry->d_name, S_ISDIR(held.st_mode) ? AT_REMOVEDIR : 0);
        }
        ::close(fd);
    }
    ::closedir(dir);
}

int CheckedFile::openFolderAt(int dirFd, const char *name)
{
    const int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0 && errno == ENOTDIR && ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(st.st_mode))
        errno = ELOOP;
    return fd;
}

void CheckedFile::setModified(int dirFd, const char *name, qint64 seconds)
{
    if (seconds <= 0)
        return;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = time_t(seconds);
    times[1].tv_nsec = 0;
    if (name)
        ::utimensat(dirFd, name, times, 0);
    else
        ::futimens(dirFd, times);
}
