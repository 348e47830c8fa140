// SPDX-License-Identifier: GPL-3.0-or-later
#include "TextLines.h"

#include "Cp932.h"
#include "SystemError.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

QStringList TextLines::split(QStringView text)
{
    QStringList lines;
    forEachLine(text, [&lines](QStringView line) { lines.append(line.toString()); });
    return lines;
}

bool TextLines::readBytes(const QString &path, QByteArray *bytes, QString *error)
{
    const auto fail = [error](int err) {
        if (error)
            *error = SystemError::text(err);
        return false;
    };
    int fd;
    do
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return fail(errno);
    // Read through a buffer on the stack, so that what is kept is exactly the file's size.
    QByteArray data;
    char buffer[16 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            return fail(err);
        }
        if (n == 0)
            break;
        data.append(buffer, n);
    }
    ::close(fd);
    *bytes = std::move(data);
    return true;
}

bool TextLines::readFile(const QString &path, QString *text, QString *error)
{
    QByteArray bytes;
    if (!readBytes(path, &bytes, error))
        return false;
    *text = Cp932::toUnicode(bytes);
    return true;
}

bool TextLines::readLines(const QString &path, QStringList *lines, QString *error)
{
    QString text;
    if (!readFile(path, &text, error))
        return false;
    *lines = split(text);
    return true;
}

bool TextLines::writeFileAtomic(const QString &path, const QByteArray &bytes, QString *error,
                                Permissions permissions)
{
    return CheckedFile::writeFile(path, bytes, error, CheckedFile::Mode::Replace, permissions);
}
