#include "TextLines.h"

#include "Cp932.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

QStringList TextLines::split(QStringView text)
{
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            lines.append(text.mid(start, i - start).toString());
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines.append(text.mid(start).toString());
    return lines;
}

QString TextLines::join(const QStringList &lines)
{
    QString out;
    qsizetype size = 0;
    for (const QString &l : lines)
        size += l.size() + 2;
    out.reserve(size);
    for (const QString &l : lines)
        out.append(l).append(u"\r\n"_qs);
    return out;
}

bool TextLines::readFile(const QString &path, QString *text, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        if (error)
            *error = f.errorString();
        return false;
    }
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
    const bool existed = QFileInfo::exists(path);
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    if ((!existed && permissions == Permissions::OwnerOnly) ||
        permissions == Permissions::OwnerOnlyAlways)
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (f.write(bytes) != bytes.size()) {
        if (error)
            *error = f.errorString();
        f.cancelWriting();
        return false;
    }
    if (!f.commit()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}
