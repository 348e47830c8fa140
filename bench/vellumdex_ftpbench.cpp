// SPDX-License-Identifier: GPL-3.0-or-later
// Publishing a page and 20 images on loopback: over FTPS and SFTP, once with a login for each
// file (as every upload went before the publication kept one session) and once over one
// session, beside OpenSSH's own batch upload (sftp -b) of the same files. Prints milliseconds,
// the median of the rounds.
#include "ftp/TestServers.h"
#include "ftp/basftpservice.h"
#include "ftp/cls_FtpData.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <pwd.h>

namespace {

qint64 median(QList<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

qint64 timed(int rounds, const std::function<bool()> &run)
{
    QList<qint64> took;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        if (!run())
            return -1;
        took.append(t.elapsed());
    }
    return median(took);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QTemporaryDir dir;
    qputenv("HOME", QFile::encodeName(dir.filePath(u"home"_qs)));
    qputenv("no_proxy", "*");
    QDir().mkpath(dir.filePath(u"local"_qs));
    QRandomGenerator random(1);
    QStringList files; // the images first, the page last, as a publication sends them
    for (int i = 0; i < 20; ++i) {
        QByteArray image(30000, Qt::Uninitialized);
        for (char &c : image)
            c = char(random.bounded(256));
        files << dir.filePath(u"local/image%1.png"_qs.arg(i));
        writeBytes(files.last(), image);
    }
    QByteArray page;
    for (int i = 0; page.size() < 200000; ++i)
        page += "<a href=\"http://example.jp/" + QByteArray::number(i) + "\">link</a>\r\n";
    files << dir.filePath(u"local/index.html"_qs);
    writeBytes(files.last(), page);

    const QString certs = dir.filePath(u"certs"_qs);
    QDir().mkpath(certs);
    QProcess::execute(QStringLiteral(PYTHON3_SYSTEM),
                      {TestServer::script(), u"--make-cert"_qs, certs});
    qputenv(basftpservice::CaFileVariable, QFile::encodeName(certs + u"/cert.pem"_qs));
    TestServer ftps;
    QDir().mkpath(dir.filePath(u"ftps"_qs));
    if (!ftps.start({u"--root"_qs, dir.filePath(u"ftps"_qs), u"--log"_qs,
                     dir.filePath(u"ftps.log"_qs), u"--tls"_qs, certs})) {
        std::fprintf(stderr, "the FTPS server did not start\n");
        return 1;
    }
    SshServer ssh;
    QByteArray known;
    const QString key = dir.filePath(u"home/.ssh/id_ed25519"_qs);
    if (!startSshWithKey(ssh, dir.filePath(u"ssh"_qs), key, QString(), &known)) {
        std::fprintf(stderr, "sshd did not start\n");
        return 1;
    }
    writeBytes(basftpservice::KnownHostsFile(), known);

    cls_FtpData ftpsConnection;
    ftpsConnection.setFtpProtocol(cls_FtpData::Protocol::Ftps);
    ftpsConnection.setFtpSrv(ftps.address());
    ftpsConnection.setFtpUid(u"user"_qs);
    ftpsConnection.setFtpPwd(u"秘密のpass"_qs);
    ftpsConnection.setFtpPassive(true);
    ftpsConnection.setFtpDir(u"www"_qs);
    cls_FtpData sftpConnection;
    sftpConnection.setFtpProtocol(cls_FtpData::Protocol::Sftp);
    sftpConnection.setFtpSrv(ssh.address());
    sftpConnection.setFtpUid(QString::fromLocal8Bit(getpwuid(geteuid())->pw_name));
    sftpConnection.setFtpKeyFile(key);
    sftpConnection.setFtpDir(u"www"_qs);

    const auto publish = [&files](cls_FtpData &connection, bool oneSession) {
        if (oneSession)
            connection.OpenSession();
        bool sent = true;
        for (const QString &file : files)
            sent = sent && connection.FtpPut_Binary(file, QFileInfo(file).fileName());
        connection.CloseSession();
        if (!sent)
            std::fprintf(stderr, "%s\n", qPrintable(connection.LastError()));
        return sent;
    };
    std::printf("page of %lld bytes and 20 images of 30000 bytes, median of %d rounds (ms)\n",
                qlonglong(page.size()), rounds);
    for (auto *connection : {&ftpsConnection, &sftpConnection}) {
        const QString name = cls_FtpData::ProtocolName(connection->FtpProtocol());
        const qint64 each = timed(rounds, [&] { return publish(*connection, false); });
        const qint64 one = timed(rounds, [&] { return publish(*connection, true); });
        std::printf("%-5s a login per file %6lld   one session %6lld\n", qPrintable(name),
                    qlonglong(each), qlonglong(one));
    }
    // OpenSSH's client: the same files into the same folder, in one batch.
    QString batch = u"-mkdir www\ncd www\n"_qs;
    for (const QString &file : files)
        batch += u"put "_qs + file + u'\n';
    writeBytes(dir.filePath(u"batch"_qs), batch.toUtf8());
    const qint64 openssh = timed(rounds, [&] {
        QProcess sftp;
        sftp.setStandardOutputFile(QProcess::nullDevice());
        sftp.setStandardErrorFile(QProcess::nullDevice());
        sftp.start(u"sftp"_qs, {u"-q"_qs, u"-b"_qs, dir.filePath(u"batch"_qs), u"-i"_qs, key,
                                u"-P"_qs, QString::number(ssh.port), u"-o"_qs,
                                u"UserKnownHostsFile="_qs + basftpservice::KnownHostsFile(),
                                sftpConnection.FtpUid() + u"@127.0.0.1"_qs});
        return sftp.waitForFinished(60000) && sftp.exitCode() == 0;
    });
    std::printf("sftp -b (OpenSSH)                     %6lld\n", qlonglong(openssh));
    return 0;
}
