// SPDX-License-Identifier: GPL-3.0-or-later
#include "FtpConnections.h"

#include "cls_FtpData.h"
#include "settings/ProfileFile.h"
#include "settings/code_main.h"

#include <QHash>
#include <QLockFile>

#include <limits>

namespace run {

namespace {

FtpConnectionList ftpConnections;

const QString FtpSection = u"FTP"_qs;
// A "Count" beyond the records present adds empty connections up to this many, no more.
constexpr qint64 EmptyConnectionCap = 10000;

// "Count" as stored: plain decimal digits, anything else reads as 0.
qint64 storedCount(const QString &text)
{
    if (text.isEmpty())
        return 0;
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return 0;
    bool ok = false;
    const qint64 n = text.toLongLong(&ok);
    return ok ? n : std::numeric_limits<qint64>::max();
}

// The section's values by folded key, as ProfileFile::value reads one: the first of equal
// keys wins.
QHash<QString, QString> sectionValues(const ProfileFile &file, const QString &section)
{
    QHash<QString, QString> values;
    for (const auto &[key, value] : file.entries(section)) {
        const QString folded = key.toCaseFolded();
        if (!values.contains(folded))
            values.insert(folded, value);
    }
    return values;
}

} // namespace

void Startup(const QStringList &arguments)
{
    code_main::Startup(arguments);
    LoadFtpList();
    // Loading leaves "FTP" current; the windows expect "System" after the start.
    code_main::SettingsIni().SetSection(u"System"_qs);
}

FtpConnectionList &FtpConnections()
{
    return ftpConnections;
}

void LoadFtpList()
{
    ftpConnections = FtpConnectionList();
    code_main::SettingsIni().SetSection(FtpSection);
    ProfileFile file(code_main::SettingsIni().fileName());
    file.load();
    // One pass over the section: a lookup per record would make a long list slow to load.
    const QHash<QString, QString> values = sectionValues(file, FtpSection);
    const qint64 count = storedCount(values.value(u"count"_qs));
    // Records that exist are never dropped; a "Count" past them is not taken on trust.
    qint64 last = std::min(count, EmptyConnectionCap);
    const QString prefix = u"data_"_qs;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!it.key().startsWith(prefix))
            continue;
        const qint64 n = storedCount(it.key().mid(prefix.size()));
        if (n > last && n <= count)
            last = n;
    }
    ftpConnections.reserve(last);
    for (qint64 n = 1; n <= last; ++n) {
        auto data = QSharedPointer<cls_FtpData>::create();
        data->setConnectData(values.value(prefix + QString::number(n)));
        ftpConnections.append(data);
    }
}

bool SaveFtpList(QString *error)
{
    code_main::SettingsIni().SetSection(FtpSection);
    ProfileFile file(code_main::SettingsIni().fileName());
    if (!file.loadForUpdate(error))
        return false; // never replace a file whose content was not seen
    // The old sections go and the new one is appended in the same write: the whole change is
    // one replace of the file, so a crash leaves the old list or the new one, never a mix.
    while (file.sectionEntries(FtpSection))
        file.removeSection(FtpSection);
    ProfileFile::Entries entries;
    entries.reserve(ftpConnections.size() + 1);
    entries.append({u"Count"_qs, QString::number(ftpConnections.size())});
    for (qsizetype i = 0; i < ftpConnections.size(); ++i)
        entries.append({u"Data_"_qs + QString::number(i + 1), ftpConnections.at(i)->ConnectData()});
    file.appendSection(FtpSection, entries);
    // The records carry passwords, scrambled but not encrypted.
    file.setOwnerOnly(true);
    return file.save(error);
}

bool SaveFtpChanges(const QList<FtpListChange> &changes, QString *error)
{
    QLockFile lock(code_main::SettingsIni().fileName() + u".lock"_qs);
    if (!lock.tryLock(10000)) {
        if (error)
            *error = u"ほかのウィンドウかプログラムが書き込み中です"_qs;
        return false;
    }
    LoadFtpList();
    const auto find = [](const FtpConnectionData &data) {
        for (qsizetype i = 0; i < ftpConnections.size(); ++i)
            if (ftpConnections.at(i)->data() == data)
                return i;
        return qsizetype(-1);
    };
    for (const FtpListChange &change : changes) {
        const qsizetype at = change.before ? find(*change.before) : -1;
        if (at >= 0 && !change.after)
            ftpConnections.removeAt(at);
        else if (at >= 0)
            ftpConnections.at(at)->setData(*change.after);
        else if (change.after) {
            auto added = QSharedPointer<cls_FtpData>::create();
            added->setData(*change.after);
            ftpConnections.append(added);
        }
    }
    return SaveFtpList(error);
}

} // namespace run
