#include "cls_URL.h"

#include "FavoritesRestore.h"
#include "RunError.h"
#include "startup/Cp932.h"
#include "startup/ProfileFile.h"
#include "startup/TextLines.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// One character of text at i: a surrogate pair counts as one.
qsizetype charLength(QStringView text, qsizetype i)
{
    return text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()
               ? 2
               : 1;
}

QString reference(QStringView one)
{
    const char32_t code =
        one.size() == 2 ? QChar::surrogateToUcs4(one[0], one[1]) : one[0].unicode();
    return u"&#"_qs + QString::number(uint(code)) + u';';
}

// "-->" and "--!>" end an HTML comment: their ">" goes as an entity.
void breakCommentEnds(QString &text)
{
    for (qsizetype i = text.indexOf(u"--"_qs); i >= 0; i = text.indexOf(u"--"_qs, i + 1)) {
        qsizetype end = i + 2;
        while (end < text.size() && text.at(end) == u'-')
            ++end;
        if (end < text.size() && text.at(end) == u'!')
            ++end;
        if (end < text.size() && text.at(end) == u'>')
            text.replace(end, 1, u"&gt;"_qs);
    }
}

bool readShortcut(const QByteArray &path, QByteArray *content, qint64 *modified)
{
    // Non-blocking, so that a FIFO put in place of a file since the listing cannot hold the
    // run; only a regular file is read.
    int fd;
    do
        fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    QByteArray data;
    char buffer[16 * 1024];
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        data.append(buffer, n);
    }
    ::close(fd);
    if (ok) {
        *content = std::move(data);
        *modified = qint64(st.st_mtim.tv_sec);
    }
    return ok;
}

} // namespace

QString cls_URL::EscapeHtml(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            out += u"&amp;"_qs;
            break;
        case u'<':
            out += u"&lt;"_qs;
            break;
        case u'>':
            out += u"&gt;"_qs;
            break;
        case u'"':
            out += u"&quot;"_qs;
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString cls_URL::PageText(const QString &text)
{
    const QString escaped = EscapeHtml(text);
    QString out;
    out.reserve(escaped.size());
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        const QStringView one = QStringView(escaped).mid(i, charLength(escaped, i));
        const char16_t u = one[0].unicode();
        if (u < 0x20 || u == 0x7f || !Cp932::canHold(one))
            out += reference(one);
        else
            out += one;
        i += one.size() - 1;
    }
    return out;
}

QString cls_URL::RecordText(const QString &text, bool escapeMarkup)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QStringView one = QStringView(text).mid(i, charLength(text, i));
        const char16_t u = one[0].unicode();
        if (escapeMarkup && (u == u'&' || u == u'<' || u == u'>' || u == u'"'))
            out += EscapeHtml(one.toString());
        else if (u < 0x20 || u == 0x7f || u == u'\\' || !Cp932::canHold(one))
            out += reference(one);
        else
            out += one;
        i += one.size() - 1;
    }
    breakCommentEnds(out);
    return out;
}

QString cls_URL::RecordLine(const QString &line)
{
    QString out;
    out.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QStringView one = QStringView(line).mid(i, charLength(line, i));
        out += Cp932::canHold(one) ? one.toString() : reference(one);
        i += one.size() - 1;
    }
    breakCommentEnds(out);
    return out;
}

QString cls_URL::AddressText(const QString &url)
{
    if (Cp932::canHold(url))
        return url;
    QString out;
    for (qsizetype i = 0; i < url.size(); ++i) {
        const QStringView one = QStringView(url).mid(i, charLength(url, i));
        if (Cp932::canHold(one))
            out += one;
        else
            out += QString::fromLatin1(one.toUtf8().toPercentEncoding());
        i += one.size() - 1;
    }
    return out;
}

QString cls_URL::FileText(const QByteArray &bytes)
{
    if (bytes.startsWith("\xff\xfe")) {
        const QByteArrayView units = QByteArrayView(bytes).sliced(2);
        QString text(units.size() / 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = QChar(char16_t(uchar(units[2 * i]) | (uchar(units[2 * i + 1]) << 8)));
        return text;
    }
    if (bytes.startsWith("\xef\xbb\xbf"))
        return QString::fromUtf8(QByteArrayView(bytes).sliced(3));
    return Cp932::toUnicode(bytes);
}

QString cls_URL::decodeUtf7(QStringView text)
{
    // "+" opens base64 of UTF-16 units, ended by "-" (taken) or any other character; "+-" is
    // the plus sign itself.
    static const QByteArray alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'+') {
            out += text[i];
            continue;
        }
        ++i;
        if (i < text.size() && text[i] == u'-') {
            out += u'+';
            continue;
        }
        quint32 bits = 0;
        int count = 0;
        for (; i < text.size(); ++i) {
            const char16_t u = text[i].unicode();
            const qsizetype v = u < 0x80 ? alphabet.indexOf(char(u)) : -1;
            if (v < 0)
                break;
            bits = (bits << 6) | quint32(v);
            count += 6;
            if (count >= 16) {
                count -= 16;
                out += QChar(char16_t((bits >> count) & 0xffff));
            }
        }
        if (i < text.size() && text[i] != u'-')
            out += text[i];
    }
    return out;
}

void cls_URL::SetFileName(const QString &folderPath, const QString &fileName)
{
    if (!load(QFile::encodeName(folderPath), QFile::encodeName(fileName), fileName))
        throw RunError(u"ショートカットを読み出せません ["_qs + folderPath + fileName + u"]"_qs);
}

bool cls_URL::load(const QByteArray &folderPath, const QByteArray &nameBytes,
                   const QString &fileName)
{
    if (!readShortcut(folderPath + nameBytes, &m_content, &m_modified))
        return false;
    m_name = nameBytes;
    m_stem = fileName.chopped(qMin<qsizetype>(4, fileName.size()));

    ProfileFile ini(QFile::decodeName(folderPath + nameBytes));
    ini.setText(FileText(m_content));
    // Windows adds the address in UTF-7 where the code page cannot hold it.
    QString url = decodeUtf7(ini.value(u"InternetShortcut.W"_qs, u"URL"_qs).value_or(QString()));
    if (url.isEmpty())
        url = ini.value(u"InternetShortcut"_qs, u"URL"_qs).value_or(QString());
    m_url = EscapeHtml(AddressText(url));
    m_title = PageText(m_stem);
    return true;
}

QString cls_URL::DecodeCode(int ParentID) const
{
    const QStringList lines = TextLines::split(FileText(m_content));
    QString out = u"FileName="_qs + RecordText(m_stem, true) + u"\r\nParentID="_qs +
                  QString::number(ParentID) + u"\r\nFileLine="_qs + QString::number(lines.size()) +
                  u"\r\n"_qs;
    for (const QString &l : lines)
        out.append(RecordLine(l)).append(u"\r\n"_qs);
    return out;
}

QString cls_URL::ExactCode() const
{
    QString out = u"L T="_qs + QString::number(m_modified);
    const QStringList lines = TextLines::split(FileText(m_content));
    // What the restore makes of the record alone, checked against what it must give back.
    const QString recorded = FavoritesRestore::decodeEntities(RecordText(m_stem, true));
    if (QFile::encodeName(recorded + u".url"_qs) != m_name)
        out += u" N="_qs + QString::fromLatin1(m_name.toPercentEncoding());
    QString plain;
    for (const QString &l : lines)
        plain.append(RecordLine(l)).append(u"\r\n"_qs);
    if (Cp932::fromUnicode(plain) != m_content)
        out += u" D="_qs + QString::fromLatin1(m_content.toBase64());
    return out;
}
