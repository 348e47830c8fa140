#include "CheckedFile.h"

#include "SystemError.h"

#include <QFile>
#include <QMutex>
#include <QRandomGenerator>
#include <QSet>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
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

// The process that named a stray, from ".vellumdex-tmp-PID-XXXXXXXX".
pid_t strayOwner(const char *name)
{
    const char *p = name + StrayPrefix.size();
    long pid = 0;
    for (; *p >= '0' && *p <= '9' && pid < 1L << 30; ++p)
        pid = pid * 10 + (*p - '0');
    return *p == '-' ? pid_t(pid) : 0;
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

} // namespace

// The temporary name is short, so that a name of any length that can be made can be replaced.
int CheckedFile::writeSmallFile(int dir, const QByteArray &name, const QByteArray &data,
                                qint64 date)
{
    constexpr int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(dir, name.constData(), flags, 0666);
    const bool replace = fd < 0 && errno == EEXIST;
    QByteArray temp;
    for (int attempt = 0; replace && fd < 0 && attempt < 16; ++attempt) {
        // Named as the next run recognises its strays.
        const QByteArray path = QFile::encodeName(temporaryName(u"."_qs));
        temp = path.mid(path.lastIndexOf('/') + 1);
        fd = ::openat(dir, temp.constData(), flags, 0666);
    }
    if (fd < 0)
        return errno;
    const QByteArray &written = replace ? temp : name;
    bool ok = writeAll(fd, data);
    int error = ok ? 0 : errno;
    if (ok)
        setModified(fd, nullptr, date);
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && replace && ::renameat(dir, temp.constData(), dir, name.constData()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok)
        ::unlinkat(dir, written.constData(), 0);
    return error;
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
            m_tempPath = temporaryName(folderOf(m_path));
            m_fd = ::open(QFile::encodeName(m_tempPath).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, access);
            if (m_fd < 0)
                m_tempPath.clear();
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
        const QByteArray proc = "/proc/self/fd/" + QByteArray::number(m_fd);
        const QByteArray link = QFile::encodeName(name);
        if (::linkat(AT_FDCWD, proc.constData(), AT_FDCWD, link.constData(), AT_SYMLINK_FOLLOW) !=
                0 &&
            ::linkat(m_fd, "", AT_FDCWD, link.constData(), AT_EMPTY_PATH) != 0)
            return fail(errno);
        m_tempPath = name;
    }
    const int closed = closeChecked(m_fd);
    m_fd = -1;
    if (closed != 0)
        return fail(closed);
    if (::rename(QFile::encodeName(m_tempPath).constData(),
                 QFile::encodeName(m_path).constData()) != 0)
        return fail(errno);
    m_tempPath.clear();
    QIODevice::close();
    return true;
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
    return folder + u'/' + QString::fromLatin1(StrayPrefix) + QString::number(::getpid()) + u'-' +
           QString::number(QRandomGenerator::global()->generate(), 16);
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
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return;
    const pid_t self = ::getpid();
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, StrayPrefix.constData(), size_t(StrayPrefix.size())) != 0)
            continue;
        const pid_t owner = strayOwner(entry->d_name);
        if (owner > 0 && owner != self && ::kill(owner, 0) != 0 && errno == ESRCH)
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
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
