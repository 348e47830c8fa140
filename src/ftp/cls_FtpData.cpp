#include "cls_FtpData.h"

#include "basftpservice.h"
#include "cls_Pass.h"

#include <QStringList>

cls_FtpData::cls_FtpData(QObject *parent) : QObject(parent) {}

bool cls_FtpData::FtpPut_Text(const QString &FileName, const QString &FtpFile)
{
    return put(FileName, FtpFile, false);
}

bool cls_FtpData::FtpPut_Binary(const QString &FileName, const QString &FtpFile)
{
    return put(FileName, FtpFile, true);
}

bool cls_FtpData::put(const QString &FileName, const QString &FtpFile, bool binary)
{
    emit SendStart(FtpFile);
    const qsizetype slash = FileName.lastIndexOf(u'/');
    const QString localFolder = FileName.left(slash + 1);
    const QString localFile = FileName.mid(slash + 1);
    m_lastError.clear();
    const bool sent =
        basftpservice::FtpSendFile(m_ftpSrv, FtpFile, m_ftpDir, m_ftpUid, m_ftpPwd, localFile,
                                   localFolder, binary, m_ftpPassive, m_ftpTls, &m_lastError);
    if (sent)
        emit SendEnd(FtpFile);
    else
        emit SendError(FtpFile);
    return sent;
}

QString cls_FtpData::ConnectData() const
{
    // Drawn without "," group by group: retrying the whole text until it held none would, for
    // a long password, almost never end.
    const QString scrambled = cls_Pass().SetPass(m_ftpSrv, m_ftpPwd, u',');
    QStringList fields{m_viewName, m_ftpSrv,  m_ftpDir,
                       m_ftpUid,   scrambled, m_ftpPassive ? u"True"_qs : u"False"_qs};
    if (m_ftpTls)
        fields.append(u"TLS"_qs);
    return fields.join(u',');
}

void cls_FtpData::setConnectData(const QString &DataStr)
{
    const QStringList pieces = (DataStr + u",,,,,"_qs).split(u',');
    m_viewName = pieces.at(0);
    m_ftpSrv = pieces.at(1);
    m_ftpDir = pieces.at(2);
    m_ftpUid = pieces.at(3);
    m_ftpPwd = cls_Pass().GetPass(m_ftpSrv, pieces.at(4));
    // Anything but a Boolean text here comes from a record shifted by a "," in a field.
    m_ftpPassive = pieces.at(5).compare(u"True"_qs, Qt::CaseInsensitive) == 0;
    m_ftpTls = pieces.size() > 6 && pieces.at(6).compare(u"TLS"_qs, Qt::CaseInsensitive) == 0;
}

bool cls_FtpData::IsStorableField(const QString &text)
{
    // A "," shifts the fields of the record; a line break would end the settings line.
    return !text.contains(u',') && !text.contains(u'\r') && !text.contains(u'\n');
}
