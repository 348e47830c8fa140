// SPDX-License-Identifier: GPL-3.0-or-later
#include "SystemError.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

QString SystemError::text(int error)
{
    switch (error) {
    case ENOENT:
        return u"ファイルまたはフォルダが見つかりません"_qs;
    case EACCES:
    case EPERM:
        return u"アクセスが拒否されました"_qs;
    case ENOSPC:
        return u"ディスクがいっぱいです"_qs;
    case EDQUOT:
        return u"ディスクの使用量が上限に達しました"_qs;
    case EROFS:
        return u"読み取り専用のファイルシステムです"_qs;
    case ENAMETOOLONG:
        return u"ファイル名が長すぎます"_qs;
    case ENOTDIR:
        return u"フォルダではありません"_qs;
    case EISDIR:
        return u"ファイルではなくフォルダです"_qs;
    case EEXIST:
        return u"同じ名前のファイルが既にあります"_qs;
    case ENOTEMPTY:
        return u"フォルダが空ではありません"_qs;
    case EFBIG:
        return u"ファイルが大きすぎます"_qs;
    case EIO:
        return u"ディスクの読み書きに失敗しました"_qs;
    case ELOOP:
        // Also where a link is refused: nothing is written through one.
        return u"シンボリックリンクをたどれません"_qs;
    case ESTALE:
        return u"ファイルまたはフォルダが別のものに置き換えられています"_qs;
    case EMFILE:
    case ENFILE:
        return u"開いているファイルが多すぎます"_qs;
    case EBUSY:
        return u"ファイルまたはフォルダが使用中です"_qs;
    case EXDEV:
        return u"別のファイルシステムへは移動できません"_qs;
    default: {
        char buffer[256];
        // The GNU form: the text may or may not be the buffer.
        return QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
    }
    }
}

QString SystemError::makeFolders(const QString &path)
{
    const QByteArray bytes = QFile::encodeName(path);
    for (qsizetype end = 1; end <= bytes.size(); ++end) {
        if (end < bytes.size() && bytes[end] != '/')
            continue;
        const QByteArray part = bytes.left(end);
        if (::mkdir(part.constData(), 0777) != 0 && errno != EEXIST)
            return text(errno);
    }
    struct stat st;
    if (::stat(bytes.constData(), &st) != 0)
        return text(errno);
    return S_ISDIR(st.st_mode) ? QString() : text(ENOTDIR);
}

QString SystemError::plainFileCause(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return text(errno);
    if (S_ISDIR(st.st_mode))
        return text(EISDIR);
    return S_ISREG(st.st_mode) ? QString() : u"通常のファイルではありません"_qs;
}
