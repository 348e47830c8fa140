#include "cls_URL.h"

#include "RunError.h"
#include "startup/CheckedFile.h"
#include "startup/Cp932.h"
#include "startup/MessageSink.h"
#include "startup/ProfileFile.h"
#include "startup/TextLines.h"

#include <QDir>
#include <QFile>

cls_URL::~cls_URL()
{
    if (m_tempCopy)
        QFile::remove(m_tempPath);
}

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

QString cls_URL::CodePageSafe(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype len = 1;
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            len = 2;
        const QStringView one = QStringView(text).mid(i, len);
        out += Cp932::canHold(one) ? one.toString() : QString(u' ');
        i += len - 1;
    }
    return out;
}

void cls_URL::SetFileName(const QString &folderPath, const QString &fileName)
{
    m_fileName = fileName;
    m_folderPath = folderPath;
    QString title = fileName.chopped(qMin<qsizetype>(4, fileName.size()));

    const QString converted = Cp932::roundTrip(title);
    if (converted != title) {
        const QString newTitle = CodePageSafe(title);
        if (CopyToTempFile()) {
            MessageSink::show(u"リンク\r\n  ["_qs + converted + u"]\r\nを\r\n  ["_qs + newTitle +
                              u"]\r\nとして処理します"_qs);
        }
        title = newTitle;
    }
    // A line break or other control character in a file name would end the title's line in
    // the restore block and start a record of its own there: it becomes a blank as well.
    for (QChar &c : title) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u' ';
    }

    const QString path = fullPath();
    if (!TextLines::readBytes(path, &m_content))
        throw RunError(u"ショートカットを読み出せません ["_qs + folderPath + fileName + u"]"_qs);

    ProfileFile ini(path);
    ini.setText(Cp932::toUnicode(m_content));
    m_url = EscapeHtml(ini.value(u"InternetShortcut"_qs, u"URL"_qs).value_or(QString()));
    m_title = EscapeHtml(title);
}

bool cls_URL::CopyToTempFile()
{
    // Named so that the next run removes it should this one be killed while it is there.
    const QString tempName = CheckedFile::temporaryName(QDir::tempPath());
    QByteArray bytes;
    if (!TextLines::readBytes(m_folderPath + m_fileName, &bytes))
        throw RunError(u"ショートカットを読み出せません ["_qs + m_folderPath + m_fileName +
                       u"]"_qs);
    QString cause;
    if (!CheckedFile::writeFile(tempName, bytes, &cause, CheckedFile::Mode::NewOnly))
        throw RunError(u"一時ファイルを作成できません ["_qs + QDir::tempPath() + u"] "_qs + cause);
    m_tempPath = tempName;
    m_tempCopy = true;
    return true;
}

QString cls_URL::DecodeCode(int ParentID) const
{
    const QStringList lines = TextLines::split(Cp932::toUnicode(m_content));
    QString out = u"FileName="_qs + m_title + u"\r\nParentID="_qs + QString::number(ParentID) +
                  u"\r\nFileLine="_qs + QString::number(lines.size()) + u"\r\n"_qs;
    for (const QString &l : lines)
        out.append(l).append(u"\r\n"_qs);
    return out;
}
