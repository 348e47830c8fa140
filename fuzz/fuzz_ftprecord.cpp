// SPDX-License-Identifier: GPL-3.0-or-later
// Stored FTP connection records and scrambled passwords from anyone: every text reads to some
// connection, and a connection written out reads back the same, in bounded time.
#include "FuzzSupport.h"
#include "base/Cp932.h"
#include "ftp/cls_FtpData.h"
#include "ftp/cls_Pass.h"

namespace {

bool storable(const QString &password)
{
    return !password.contains(QChar(0)) && Cp932::roundTrip(password) == password;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const char *data, size_t size)
{
    // A record line, then a key word and a scrambled text, separated by NUL bytes.
    const QList<QByteArray> parts = fuzz::pieces(data, size, 3);
    const QString record = Cp932::toUnicode(parts.at(0));

    cls_FtpData first;
    first.setConnectData(record);
    const QString written = first.ConnectData();
    fuzz::check((!written.contains(u'\r') && !written.contains(u'\n')) || record.contains(u'\r') ||
                    record.contains(u'\n'),
                "one line");
    cls_FtpData second;
    second.setConnectData(written);
    fuzz::check(second.ViewName() == first.ViewName() && second.FtpSrv() == first.FtpSrv() &&
                    second.FtpDir() == first.FtpDir() && second.FtpUid() == first.FtpUid() &&
                    second.FtpPassive() == first.FtpPassive() &&
                    second.FtpProtocol() == first.FtpProtocol() &&
                    (second.FtpKeyFile() == first.FtpKeyFile() || !storable(first.FtpKeyFile())),
                "fields come back");
    fuzz::check(!storable(first.FtpPwd()) || second.FtpPwd() == first.FtpPwd(),
                "password comes back");

    const cls_Pass pass;
    const QString key = Cp932::toUnicode(parts.at(1));
    const QString plain = pass.GetPass(key, Cp932::toUnicode(parts.at(2)));
    fuzz::check(!plain.contains(QChar(0)), "cut at the padding");
    const QString scrambled = pass.SetPass(key, plain);
    fuzz::check(scrambled.size() % 3 == 0 && scrambled.size() >= 30, "three characters a byte");
    for (const QChar c : scrambled)
        fuzz::check(c.unicode() >= 32 && c.unicode() <= 126, "printable");
    fuzz::check(!storable(plain) || pass.GetPass(key, scrambled) == plain, "round trip");
    return 0;
}
