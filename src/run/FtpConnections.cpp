#include "FtpConnections.h"

#include "ftp/cls_FtpData.h"
#include "startup/ProfileFile.h"
#include "startup/TextLines.h"
#include "startup/code_main.h"

#include <QFileInfo>
#include <QHash>

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

QString trimmedBlanks(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && (s[b] == u' ' || s[b] == u'\t'))
        ++b;
    while (e > b && (s[e - 1] == u' ' || s[e - 1] == u'\t'))
        --e;
    return s.mid(b, e - b).toString();
}

// The section's values by folded key, read as ProfileFile::value reads one: the first of
// equal keys wins, blanks around key and value go, one pair of matching quotes is dropped.
QHash<QString, QString> sectionValues(const ProfileFile &file, const QString &section)
{
    QHash<QString, QString> values;
    const auto entries = file.sectionEntries(section);
    if (!entries)
        return values;
    for (const QString &entry : *entries) {
        const qsizetype eq = entry.indexOf(u'=');
        const QString key = trimmedBlanks(eq < 0 ? entry : entry.left(eq)).toCaseFolded();
        if (values.contains(key))
            continue;
        QString value = eq < 0 ? QString() : trimmedBlanks(QStringView(entry).mid(eq + 1));
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
            value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        values.insert(key, value);
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
    const QString path = code_main::SettingsIni().fileName();
    QStringList lines;
    if (!TextLines::readLines(path, &lines, error) && QFileInfo::exists(path))
        return false; // never replace a file whose content was not seen
    // The new section goes after the old ones, which are then removed: the whole change is
    // one replace of the file, so a crash leaves the old list or the new one, never a mix.
    ProfileFile old(path);
    old.setText(TextLines::join(lines));
    int oldSections = 0;
    while (old.sectionEntries(FtpSection)) {
        old.removeSection(FtpSection);
        ++oldSections;
    }
    lines.reserve(lines.size() + ftpConnections.size() + 2);
    lines.append(u'[' + FtpSection + u']');
    lines.append(u"Count="_qs + QString::number(ftpConnections.size()));
    for (qsizetype i = 0; i < ftpConnections.size(); ++i) {
        QString record = ftpConnections.at(i)->ConnectData();
        record.replace(u'\r', u' ').replace(u'\n', u' ');
        lines.append(u"Data_"_qs + QString::number(i + 1) + u'=' + record);
    }
    ProfileFile file(path);
    file.setText(TextLines::join(lines));
    for (int n = 0; n < oldSections; ++n)
        file.removeSection(FtpSection);
    // The records carry passwords, scrambled but not encrypted.
    file.setOwnerOnly(!ftpConnections.isEmpty());
    return file.save(error);
}

} // namespace run
