// SPDX-License-Identifier: GPL-3.0-or-later
#include "BrowserProfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

struct Location
{
    const char16_t *browser;
    const char16_t *config;  // below the configuration folder
    const char16_t *flatpak; // below the home folder
    const char16_t *snap;    // below the home folder; null when there is no Snap package
};

const Location ChromiumFamily[] = {
    {u"chromium", u"chromium", u".var/app/org.chromium.Chromium/config/chromium",
     u"snap/chromium/common/chromium"},
    {u"chrome", u"google-chrome", u".var/app/com.google.Chrome/config/google-chrome", nullptr},
    {u"edge", u"microsoft-edge", u".var/app/com.microsoft.Edge/config/microsoft-edge", nullptr},
    {u"brave", u"BraveSoftware/Brave-Browser",
     u".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser",
     u"snap/brave/current/.config/BraveSoftware/Brave-Browser"},
    {u"vivaldi", u"vivaldi", u".var/app/com.vivaldi.Vivaldi/config/vivaldi",
     u"snap/vivaldi/current/.config/vivaldi"},
};

const char16_t *const FirefoxFolders[] = {
    u".mozilla/firefox",
    u".var/app/org.mozilla.firefox/.mozilla/firefox",
    u"snap/firefox/common/.mozilla/firefox",
};

// profiles.ini is UTF-8 "[section]" and "key=value" lines; QSettings would read a comma in a
// profile's name as a list.
std::vector<std::pair<QString, QHash<QString, QString>>> readIni(const QString &path)
{
    std::vector<std::pair<QString, QHash<QString, QString>>> sections;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return sections;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            sections.emplace_back(line.mid(1, line.size() - 2), QHash<QString, QString>());
        } else if (!sections.empty() && line.contains(u'=') && !line.startsWith(u';') &&
                   !line.startsWith(u'#')) {
            const qsizetype eq = line.indexOf(u'=');
            sections.back().second.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
        }
    }
    return sections;
}

QString cleanPath(const QString &folder, const QString &path)
{
    return QDir::cleanPath(QDir::isAbsolutePath(path) ? path : folder + u'/' + path);
}

// Each browser's default first, the others in the order they were found.
void addDefaultFirst(std::vector<BrowserProfiles::Profile> *all,
                     std::vector<BrowserProfiles::Profile> found)
{
    std::stable_partition(found.begin(), found.end(),
                          [](const BrowserProfiles::Profile &p) { return p.isDefault; });
    for (auto &p : found)
        all->push_back(std::move(p));
}

std::vector<BrowserProfiles::Profile> chromiumProfiles(const QString &browser,
                                                       const QString &folder)
{
    std::vector<BrowserProfiles::Profile> found;
    if (!QFileInfo(folder).isDir())
        return found;
    QFile stateFile(folder + u"/Local State"_qs);
    QJsonObject state;
    if (stateFile.open(QIODevice::ReadOnly))
        state = QJsonDocument::fromJson(stateFile.readAll()).object().value(u"profile").toObject();
    const QJsonObject cache = state.value(u"info_cache").toObject();
    QStringList folders = cache.keys();
    const QStringList onDisk = QDir(folder).entryList(QStringList{u"Default"_qs, u"Profile *"_qs},
                                                      QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &f : onDisk) {
        if (!folders.contains(f) && QFileInfo::exists(folder + u'/' + f + u"/Bookmarks"_qs))
            folders << f;
    }
    QString lastUsed = state.value(u"last_used").toString();
    if (lastUsed.isEmpty() || !QFileInfo(folder + u'/' + lastUsed).isDir())
        lastUsed = u"Default"_qs;
    for (const QString &f : std::as_const(folders)) {
        const QString path = folder + u'/' + f;
        if (!QFileInfo(path).isDir())
            continue;
        const QString name = cache.value(f).toObject().value(u"name").toString();
        found.push_back({browser, name.isEmpty() ? f : name, path, f == lastUsed});
    }
    if (!found.empty() &&
        std::none_of(found.begin(), found.end(), [](const auto &p) { return p.isDefault; }))
        found.front().isDefault = true;
    return found;
}

} // namespace

QStringList BrowserProfiles::names()
{
    QStringList list{u"firefox"_qs};
    for (const Location &l : ChromiumFamily)
        list << QString::fromUtf16(l.browser);
    return list;
}

std::vector<BrowserProfiles::Profile> BrowserProfiles::firefoxProfiles(const QString &folder)
{
    std::vector<Profile> found;
    QString installDefault;
    QString markedDefault;
    for (const auto &[section, keys] : readIni(folder + u"/profiles.ini"_qs)) {
        if (section.startsWith(u"Install"_qs) && installDefault.isEmpty() &&
            !keys.value(u"Default"_qs).isEmpty()) {
            const QString path = cleanPath(folder, keys.value(u"Default"_qs));
            if (QFileInfo(path).isDir())
                installDefault = path;
        }
        if (!section.startsWith(u"Profile"_qs) || keys.value(u"Path"_qs).isEmpty())
            continue;
        const QString path = keys.value(u"IsRelative"_qs) == u"0"_qs
                                 ? QDir::cleanPath(keys.value(u"Path"_qs))
                                 : cleanPath(folder, keys.value(u"Path"_qs));
        if (!QFileInfo(path).isDir())
            continue;
        if (keys.value(u"Default"_qs) == u"1"_qs && markedDefault.isEmpty())
            markedDefault = path;
        found.push_back({u"firefox"_qs, keys.value(u"Name"_qs), path, false});
    }
    const QString chosen = !installDefault.isEmpty() ? installDefault : markedDefault;
    for (Profile &p : found)
        p.isDefault = p.path == chosen || (chosen.isEmpty() && found.size() == 1);
    return found;
}

std::vector<BrowserProfiles::Profile> BrowserProfiles::find(const QString &home,
                                                            const QString &configHome)
{
    std::vector<Profile> all;
    // The first place that holds a browser's profiles gives its default; the packaged ones
    // after the one installed from the system's packages.
    bool firefoxDefault = false;
    for (const char16_t *f : FirefoxFolders) {
        std::vector<Profile> found = firefoxProfiles(home + u'/' + QString::fromUtf16(f));
        for (Profile &p : found) {
            p.isDefault = p.isDefault && !firefoxDefault;
            firefoxDefault = firefoxDefault || p.isDefault;
        }
        addDefaultFirst(&all, std::move(found));
    }
    for (const Location &l : ChromiumFamily) {
        bool chosen = false;
        QStringList folders{configHome + u'/' + QString::fromUtf16(l.config),
                            home + u'/' + QString::fromUtf16(l.flatpak)};
        if (l.snap)
            folders << home + u'/' + QString::fromUtf16(l.snap);
        for (const QString &folder : std::as_const(folders)) {
            std::vector<Profile> found = chromiumProfiles(QString::fromUtf16(l.browser), folder);
            for (Profile &p : found) {
                p.isDefault = p.isDefault && !chosen;
                chosen = chosen || p.isDefault;
            }
            addDefaultFirst(&all, std::move(found));
        }
    }
    return all;
}

std::vector<BrowserProfiles::Profile> BrowserProfiles::find()
{
    const QString home = QDir::homePath();
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = home + u"/.config"_qs;
    return find(home, config);
}

QString BrowserProfiles::bookmarksIn(const QString &path, const QString &browser, QString *error)
{
    const QFileInfo info(path);
    if (info.isFile())
        return info.absoluteFilePath();
    if (info.isDir()) {
        QStringList files{u"places.sqlite"_qs, u"Bookmarks"_qs};
        if (browser == u"firefox"_qs)
            files.removeLast();
        else if (!browser.isEmpty())
            files.removeFirst();
        for (const QString &name : std::as_const(files)) {
            const QFileInfo file(info.absoluteFilePath() + u'/' + name);
            if (file.isFile())
                return file.absoluteFilePath();
        }
        *error = u"プロファイルにブックマークがありません ["_qs + info.absoluteFilePath() + u"]"_qs;
        return QString();
    }
    *error = u"プロファイルが見つかりません ["_qs + path + u"]"_qs;
    return QString();
}

QString BrowserProfiles::defaultBookmarks(const QString &browser, QString *error)
{
    for (const Profile &p : find()) {
        if (p.browser == browser && p.isDefault)
            return bookmarksIn(p.path, browser, error);
    }
    *error = browser + u" のプロファイルが見つかりません"_qs;
    return QString();
}
