// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The servers the transfer tests publish to, each on a loopback port of its own: pyftpdlib
// (plain FTP or FTPS) and OpenSSH's sshd.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

inline QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// A loopback port that nothing listens on.
inline int closedPort()
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr *>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

class TestServer
{
public:
    ~TestServer() { stop(); }
    bool start(const QStringList &arguments)
    {
        m_process.setProgram(QStringLiteral(PYTHON3_SYSTEM));
        m_process.setArguments(QStringList{script()} + arguments);
        m_process.start();
        if (!m_process.waitForStarted(10000))
            return false;
        while (!m_process.canReadLine())
            if (!m_process.waitForReadyRead(20000))
                return false;
        port = m_process.readLine().trimmed().toInt();
        return port > 0;
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
    static QString script()
    {
        return QStringLiteral(VELLUMDEX_SOURCE_DIR "/tests/ftp/ftpserver.py");
    }
    QString address() const { return u"127.0.0.1:"_qs + QString::number(port); }
    qint64 pid() const { return m_process.processId(); }

    int port = 0;

private:
    QProcess m_process;
};

// A signal to a process and everything it started (sshd's sessions are processes of their own).
inline void signalTree(qint64 pid, int signal)
{
    const QByteArray children =
        readBytes(QStringLiteral("/proc/%1/task/%1/children").arg(pid)).trimmed();
    if (pid <= 0)
        return;
    ::kill(pid_t(pid), signal);
    if (children != "<missing>")
        for (const QByteArray &child : children.split(' '))
            if (child.toLongLong() > 0)
                signalTree(child.toLongLong(), signal);
}

// OpenSSH's sshd on a loopback port, with a configuration, host key and authorized keys of its
// own in folder; every SFTP login starts in folder/root.
struct SshServer
{
    QProcess sshd;
    int port = 0;
    ~SshServer()
    {
        pause(false);
        sshd.terminate();
        sshd.waitForFinished(5000);
    }
    bool start(const QString &folder)
    {
        port = closedPort();
        writeBytes(folder + u"/sshd_config"_qs,
                   QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey %2/host\nUsePAM no\n"
                                  "AuthorizedKeysFile %2/authorized_keys\nStrictModes no\n"
                                  "PermitRootLogin yes\nLogLevel VERBOSE\nSubsystem sftp "
                                  "internal-sftp\nForceCommand internal-sftp -d %2/root\n")
                       .arg(port)
                       .arg(folder)
                       .toUtf8());
        QDir().mkpath(u"/run/sshd"_qs);                      // for its privilege separation
        sshd.setStandardErrorFile(folder + u"/sshd.log"_qs); // never a full pipe to block on
        sshd.start(u"/usr/sbin/sshd"_qs,
                   {u"-D"_qs, u"-e"_qs, u"-f"_qs, folder + u"/sshd_config"_qs});
        for (int i = 0; i < 100 && !sshd.waitForFinished(100); ++i)
            if (readBytes(folder + u"/sshd.log"_qs).contains("Server listening"))
                return true;
        return false;
    }
    // A stopped sshd still has connections accepted, by the kernel, and says nothing.
    void pause(bool on)
    {
        if (sshd.state() == QProcess::Running)
            ::kill(pid_t(sshd.processId()), on ? SIGSTOP : SIGCONT);
    }
    QString address() const { return u"127.0.0.1:"_qs + QString::number(port); }
};

// An sshd that lets the running user in by the key made at keyFile (its passphrase given) and
// the line known_hosts needs to know it.
inline bool startSshWithKey(SshServer &server, const QString &folder, const QString &keyFile,
                            const QString &passphrase, QByteArray *knownHostsLine)
{
    QDir().mkpath(folder + u"/root"_qs);
    QDir().mkpath(QFileInfo(keyFile).path());
    for (const auto &[file, phrase] :
         {std::pair{keyFile, passphrase}, std::pair{folder + u"/host"_qs, QString()}})
        if (QProcess::execute(u"ssh-keygen"_qs, {u"-q"_qs, u"-t"_qs, u"ed25519"_qs, u"-N"_qs,
                                                 phrase, u"-f"_qs, file}) != 0)
            return false;
    writeBytes(folder + u"/authorized_keys"_qs, readBytes(keyFile + u".pub"_qs));
    if (!server.start(folder))
        return false;
    const QList<QByteArray> host = readBytes(folder + u"/host.pub"_qs).split(' ');
    *knownHostsLine = "[127.0.0.1]:" + QByteArray::number(server.port) + ' ' + host.value(0) + ' ' +
                      host.value(1).trimmed() + '\n';
    return true;
}
