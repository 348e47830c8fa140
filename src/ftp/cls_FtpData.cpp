// SPDX-License-Identifier: GPL-3.0-or-later
#include "cls_FtpData.h"

#include "FtpSession.h"
#include "basftpservice.h"
#include "cls_Pass.h"

#include <QStringList>

cls_FtpData::cls_FtpData(QObject *parent) : QObject(parent) {}

cls_FtpData::~cls_FtpData() = default;

bool cls_FtpData::FtpPut_Text(const QString &FileName, const QString &FtpFile)
{
    return put(FileName, FtpFile, false);
}

bool cls_FtpData::FtpPut_Binary(const QString &FileName, const QString &FtpFile)
{
    return put(FileName, FtpFile, true);
}

void cls_FtpData::OpenSession()
{
    m_session = std::make_unique<FtpSession>(m_data);
}

void cls_FtpData::CloseSession()
{
    m_session.reset();
}

bool cls_FtpData::SessionEnded() const
{
    return m_session && m_session->Ended();
}

bool cls_FtpData::put(const QString &FileName, const QString &FtpFile, bool binary)
{
    emit SendStart(FtpFile);
    m_lastError.clear();
    std::unique_ptr<FtpSession> own;
    if (!m_session)
        own = std::make_unique<FtpSession>(m_data);
    FtpSession &session = m_session ? *m_session : *own;
    bool sent = session.Put(FileName, FtpFile, binary);
    // The question is asked with no connection open, so however long it takes no wait runs
    // out; the key is taken only as the server showed it the first time.
    const basftpservice::HostKey unknownHost = session.UnknownHost();
    if (!sent && !unknownHost.blob.isEmpty() && m_hostKeyQuestion &&
        m_hostKeyQuestion(unknownHost)) {
        QString why;
        if (basftpservice::AddKnownHost(unknownHost, &why)) {
            session.Restart();
            sent = session.Put(FileName, FtpFile, binary);
        } else {
            m_lastError = why;
        }
    }
    if (m_lastError.isEmpty())
        m_lastError = session.LastError();
    for (const QString &note : session.TakeNotes())
        emit SendNote(note);
    if (sent)
        emit SendEnd(FtpFile);
    else
        emit SendError(FtpFile);
    return sent;
}

QString cls_FtpData::ProtocolName(Protocol protocol)
{
    switch (protocol) {
    case Protocol::Ftps:
        return u"FTPS"_qs;
    case Protocol::Sftp:
        return u"SFTP"_qs;
    case Protocol::Ftp:
        break;
    }
    return u"FTP"_qs;
}

QString cls_FtpData::ConnectData() const
{
    // Drawn without "," group by group: retrying the whole text until it held none would, for
    // a long password, almost never end.
    const QString scrambled = cls_Pass().SetPass(m_data.server, m_data.password, u',');
    QStringList fields{m_data.viewName, m_data.server, m_data.folder,
                       m_data.user,     scrambled,     m_data.passive ? u"True"_qs : u"False"_qs};
    if (m_data.protocol == Protocol::Ftps)
        fields.append(u"TLS"_qs);
    else if (m_data.protocol == Protocol::Sftp)
        fields.append(u"SFTP"_qs);
    if (m_data.protocol == Protocol::Sftp && !m_data.keyFile.isEmpty())
        fields.append(m_data.keyFile);
    return fields.join(u',');
}

void cls_FtpData::setConnectData(const QString &DataStr)
{
    const QStringList pieces = (DataStr + u",,,,,"_qs).split(u',');
    m_data.viewName = pieces.at(0);
    m_data.server = pieces.at(1);
    m_data.folder = pieces.at(2);
    m_data.user = pieces.at(3);
    m_data.password = cls_Pass().GetPass(m_data.server, pieces.at(4));
    // Anything but a Boolean text here comes from a record shifted by a "," in a field.
    m_data.passive = pieces.at(5).compare(u"True"_qs, Qt::CaseInsensitive) == 0;
    const QString protocol = pieces.value(6);
    m_data.protocol = protocol.compare(u"TLS"_qs, Qt::CaseInsensitive) == 0    ? Protocol::Ftps
                      : protocol.compare(u"SFTP"_qs, Qt::CaseInsensitive) == 0 ? Protocol::Sftp
                                                                               : Protocol::Ftp;
    // The key path is the last field: the "," it may hold belong to it.
    m_data.keyFile = m_data.protocol == Protocol::Sftp ? DataStr.section(u',', 7) : QString();
}

bool cls_FtpData::IsStorableField(const QString &text)
{
    // A "," shifts the fields of the record; a line break would end the settings line.
    return !text.contains(u',') && !text.contains(u'\r') && !text.contains(u'\n');
}
