#pragma once

#include <QObject>
#include <QString>

// One stored FTP connection: its record text in the settings file, and the upload of one
// file over it with events around the transfer.
class cls_FtpData : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString ConnectData READ ConnectData WRITE setConnectData)
    Q_PROPERTY(QString ViewName READ ViewName WRITE setViewName)
    Q_PROPERTY(QString FtpSrv READ FtpSrv WRITE setFtpSrv)
    Q_PROPERTY(QString FtpDir READ FtpDir WRITE setFtpDir)
    Q_PROPERTY(QString FtpUid READ FtpUid WRITE setFtpUid)
    Q_PROPERTY(QString FtpPwd READ FtpPwd WRITE setFtpPwd)
    Q_PROPERTY(bool FtpPassive READ FtpPassive WRITE setFtpPassive)
    Q_PROPERTY(bool FtpTls READ FtpTls WRITE setFtpTls)

public:
    explicit cls_FtpData(QObject *parent = nullptr);

    // Both upload the local file FileName (full path) under the remote name FtpFile, raising
    // SendStart first and then exactly one of SendEnd and SendError.
    bool FtpPut_Text(const QString &FileName, const QString &FtpFile);
    bool FtpPut_Binary(const QString &FileName, const QString &FtpFile);

    // "name,server,folder,user,scrambled password,True|False" and, for FTPS only, ",TLS":
    // readers that know six fields ignore the rest, so records stay interchangeable with them
    // both ways. Fields are not quoted; a "," in one of the first four shifts the rest.
    QString ConnectData() const;
    void setConnectData(const QString &DataStr);

    // Whether a name, server, folder or user id can be stored and read back as it stands.
    static bool IsStorableField(const QString &text);

    QString ViewName() const { return m_viewName; }
    void setViewName(const QString &v) { m_viewName = v; }
    QString FtpSrv() const { return m_ftpSrv; }
    void setFtpSrv(const QString &v) { m_ftpSrv = v; }
    QString FtpDir() const { return m_ftpDir; }
    void setFtpDir(const QString &v) { m_ftpDir = v; }
    QString FtpUid() const { return m_ftpUid; }
    void setFtpUid(const QString &v) { m_ftpUid = v; }
    QString FtpPwd() const { return m_ftpPwd; }
    void setFtpPwd(const QString &v) { m_ftpPwd = v; }
    bool FtpPassive() const { return m_ftpPassive; }
    void setFtpPassive(bool v) { m_ftpPassive = v; }
    bool FtpTls() const { return m_ftpTls; }
    void setFtpTls(bool v) { m_ftpTls = v; }

    // Why the last upload failed, in libcurl's words; empty after a success.
    QString LastError() const { return m_lastError; }

signals:
    void SendStart(const QString &FtpFile);
    void SendEnd(const QString &FtpFile);
    void SendError(const QString &FtpFile);

private:
    bool put(const QString &FileName, const QString &FtpFile, bool binary);

    QString m_viewName;
    QString m_ftpSrv;
    QString m_ftpDir;
    QString m_ftpUid;
    QString m_ftpPwd;
    bool m_ftpPassive = false;
    bool m_ftpTls = false;
    QString m_lastError;
};
