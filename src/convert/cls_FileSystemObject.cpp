#include "cls_FileSystemObject.h"

#include "RunError.h"
#include "startup/MessageSink.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

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

} // namespace

void cls_FileSystemObject::sortLikeNtfs(QStringList &names)
{
    std::vector<std::pair<QString, QString>> keyed;
    keyed.reserve(names.size());
    for (QString &n : names)
        keyed.emplace_back(upcased(n), std::move(n));
    std::sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) {
        const int c = QStringView(a.first).compare(QStringView(b.first), Qt::CaseSensitive);
        if (c != 0)
            return c < 0;
        return QStringView(a.second).compare(QStringView(b.second), Qt::CaseSensitive) < 0;
    });
    for (qsizetype i = 0; i < names.size(); ++i)
        names[i] = std::move(keyed[i].second);
}

QStringList cls_FileSystemObject::Folders(const QString &folderPath) const
{
    return list(folderPath, Kind::Folders);
}

QStringList cls_FileSystemObject::Files(const QString &folderPath) const
{
    return list(folderPath, Kind::Files);
}

QStringList cls_FileSystemObject::list(const QString &folderPath, Kind kind) const
{
    const QString path = folderPath.endsWith(u'/') ? folderPath : folderPath + u'/';
    const QByteArray encodedPath = QFile::encodeName(path);
    DIR *dir = ::opendir(encodedPath.constData());
    if (!dir) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR)
            throw RunError(u"フォルダが見つかりません ["_qs + path + u"]"_qs);
        throw RunError(u"フォルダを開く事が出来ません ["_qs + path + u"]"_qs);
    }
    QStringList names;
    errno = 0;
    while (dirent *e = ::readdir(dir)) {
        const char *n = e->d_name;
        if ((n[0] == '.' && n[1] == 0) || (n[0] == '.' && n[1] == '.' && n[2] == 0))
            continue;
        const QString name = QFile::decodeName(n);
        // The listing's own entry type saves a look at each entry; links and file systems
        // that give no type are looked at.
        const unsigned char type = e->d_type;
        if (kind == Kind::Folders) {
            // A link to a folder is not followed: it could lead back up the tree.
            struct stat st;
            if (type == DT_DIR
                || (type == DT_UNKNOWN && ::lstat((encodedPath + n).constData(), &st) == 0
                    && S_ISDIR(st.st_mode)))
                names.append(name);
        } else if (type == DT_REG) {
            names.append(name);
        } else if (type != DT_DIR) {
            struct stat st;
            if (::stat((encodedPath + n).constData(), &st) != 0) {
                MessageSink::show(path + name +
                                  u"\r\nファイルが存在しないか開く事が出来ません\r\n\r\n"_qs
                                  u"このファイルを除いて処理を続行します"_qs);
                continue;
            }
            if (!S_ISDIR(st.st_mode))
                names.append(name);
        }
    }
    ::closedir(dir);
    sortLikeNtfs(names);
    if (kind == Kind::Folders) {
        for (QString &n : names)
            n.prepend(path);
    }
    return names;
}
