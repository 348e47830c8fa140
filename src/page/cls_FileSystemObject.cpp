// SPDX-License-Identifier: GPL-3.0-or-later
#include "cls_FileSystemObject.h"

#include "base/Cp932.h"
#include "base/MessageSink.h"
#include "base/RunError.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString upcased(const QString &s)
{
    // One code unit for one, as the volume's upcase table maps them.
    QString u = s;
    for (QChar &c : u) {
        if (!c.isSurrogate())
            c = c.toUpper();
    }
    return u;
}

bool ntfsLess(const QString &aKey, const QString &a, const QString &bKey, const QString &b)
{
    const int c = QStringView(aKey).compare(QStringView(bKey), Qt::CaseSensitive);
    if (c != 0)
        return c < 0;
    return QStringView(a).compare(QStringView(b), Qt::CaseSensitive) < 0;
}

void skipped(const QString &path)
{
    MessageSink::show(path + u"\r\nファイルが存在しないか開く事が出来ません\r\n\r\n"_qs
                             u"このファイルを除いて処理を続行します"_qs);
}

} // namespace

QString cls_FileSystemObject::decodeName(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString name = utf8.decode(bytes);
    if (!utf8.hasError())
        return name;
    return Cp932::toUnicode(bytes);
}

std::vector<cls_FileSystemObject::Entry> cls_FileSystemObject::Entries(const QByteArray &folderPath,
                                                                       int folderFd) const
{
    // A listing of its own through the folder already open: no walk along its path.
    DIR *dir = nullptr;
    if (folderFd < 0) {
        dir = ::opendir(folderPath.constData());
    } else if (const int fd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
               fd >= 0) {
        dir = ::fdopendir(fd);
        if (!dir)
            ::close(fd);
    }
    if (!dir) {
        const int err = errno;
        const QString path = decodeName(folderPath);
        if (err == ENOENT || err == ENOTDIR)
            throw RunError(u"フォルダが見つかりません ["_qs + path + u"]"_qs);
        throw RunError(u"フォルダを開く事が出来ません ["_qs + path + u"]"_qs);
    }
    std::vector<std::pair<QString, Entry>> keyed;
    while (dirent *e = ::readdir(dir)) {
        const char *n = e->d_name;
        if ((n[0] == '.' && n[1] == 0) || (n[0] == '.' && n[1] == '.' && n[2] == 0))
            continue;
        Entry entry;
        entry.bytes = QByteArray(n);
        entry.name = decodeName(entry.bytes);
        // The listing's own entry type saves a look at each entry; links and file systems
        // that give no type are looked at, and a link is followed as Windows lists it.
        const unsigned char type = e->d_type;
        if (type == DT_DIR || type == DT_REG) {
            entry.folder = type == DT_DIR;
        } else {
            struct stat st;
            if ((type != DT_LNK && type != DT_UNKNOWN) ||
                (folderFd < 0 ? ::stat((folderPath + entry.bytes).constData(), &st)
                              : ::fstatat(folderFd, n, &st, 0)) != 0 ||
                !(S_ISDIR(st.st_mode) || S_ISREG(st.st_mode))) {
                skipped(decodeName(folderPath + entry.bytes));
                continue;
            }
            entry.folder = S_ISDIR(st.st_mode);
        }
        QString key = upcased(entry.name);
        keyed.emplace_back(std::move(key), std::move(entry));
    }
    ::closedir(dir);
    std::sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) {
        return ntfsLess(a.first, a.second.name, b.first, b.second.name);
    });
    std::vector<Entry> out;
    out.reserve(keyed.size());
    for (auto &k : keyed)
        out.push_back(std::move(k.second));
    return out;
}

QStringList cls_FileSystemObject::Folders(const QString &folderPath) const
{
    const QString path = folderPath.endsWith(u'/') ? folderPath : folderPath + u'/';
    QStringList names;
    for (const Entry &e : Entries(QFile::encodeName(path))) {
        if (e.folder)
            names.append(path + e.name);
    }
    return names;
}

QStringList cls_FileSystemObject::Files(const QString &folderPath) const
{
    const QString path = folderPath.endsWith(u'/') ? folderPath : folderPath + u'/';
    QStringList names;
    for (const Entry &e : Entries(QFile::encodeName(path))) {
        if (!e.folder)
            names.append(e.name);
    }
    return names;
}
