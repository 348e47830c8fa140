// SPDX-License-Identifier: GPL-3.0-or-later
#include "FirefoxPlaces.h"

#include "BookmarkTree.h"
#include "base/CheckedFile.h"
#include "base/SystemError.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QScopeGuard>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include <vector>

namespace {

struct Row
{
    qint64 id = 0;
    int type = 0;
    QString title;
    QString url;
    qint64 date = 0;
};

enum Type
{
    Bookmark = 1,
    Folder = 2,
};

struct FileState
{
    qint64 size = -1;
    qint64 modified = 0;
    bool operator==(const FileState &o) const { return size == o.size && modified == o.modified; }
};

FileState stateOf(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    return {info.size(), info.lastModified().toMSecsSinceEpoch()};
}

// A running Firefox holds places.sqlite in exclusive locking mode, and most of what it wrote
// since it started is still in the write-ahead log beside it. Opening the file itself with
// "immutable=1" would read past the lock but ignore that log (on a fresh profile, 2 of its 11
// bookmark rows); opening it normally would wait on the lock and could disturb Firefox. So the
// database and its log are copied first, while nothing changes them, and the copy is read.
bool copyDatabase(const QString &path, const QString &folder, QString *copy, QString *error)
{
    const QString wal = path + u"-wal"_qs;
    *copy = folder + u"/places.sqlite"_qs;
    for (int attempt = 0; attempt < 5; ++attempt) {
        QFile::remove(*copy);
        QFile::remove(*copy + u"-wal"_qs);
        const FileState before[2] = {stateOf(path), stateOf(wal)};
        if (!QFile::copy(path, *copy)) {
            *error = u"ファイルを開く事が出来ません ["_qs + path + u"]"_qs;
            return false;
        }
        if (before[1].size >= 0)
            QFile::copy(wal, *copy + u"-wal"_qs);
        // The copy is ours to open for writing, which SQLite needs to take in the log.
        QFile(*copy).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        QFile(*copy + u"-wal"_qs).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        if (stateOf(path) == before[0] && stateOf(wal) == before[1])
            return true;
        QThread::msleep(200);
    }
    *error = u"Firefox がブックマークを書き込み中のため読み込めません ["_qs + path + u"]"_qs;
    return false;
}

QString rootName(const QString &guid)
{
    if (guid == u"menu________"_qs)
        return u"ブックマークメニュー"_qs;
    if (guid == u"toolbar_____"_qs)
        return u"ブックマークツールバー"_qs;
    if (guid == u"unfiled_____"_qs)
        return u"他のブックマーク"_qs;
    return u"モバイルのブックマーク"_qs;
}

// SQLite's own text for the causes a user is not expected to meet.
QString causeOf(const QSqlError &error)
{
    const int code = error.nativeErrorCode().toInt() & 0xff;
    if (code == 11)
        return u"(データベースが壊れています)"_qs;
    if (code == 26)
        return u"(データベースのファイルではありません)"_qs;
    if (code == 5 || code == 6)
        return u"(データベースが使用中です)"_qs;
    return u"("_qs + error.databaseText() + u")"_qs;
}

bool readRows(const QString &file, QHash<qint64, std::vector<Row>> *children,
              QHash<QString, Row> *roots, QString *error)
{
    static QAtomicInt serial;
    const QString connection =
        u"vellumdex-places-"_qs + QString::number(serial.fetchAndAddRelaxed(1));
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_qs, connection);
        db.setDatabaseName(file);
        if (!db.isValid()) {
            *error = u"SQLite のドライバがありません (Qt の QSQLITE)"_qs;
        } else if (!db.open()) {
            *error = causeOf(db.lastError());
        } else {
            QSqlQuery query(db);
            query.setForwardOnly(true);
            // Views of those names could list rows without end; tables end with the file.
            ok = query.exec(u"SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name "
                            "IN ('moz_bookmarks', 'moz_places')"_qs) &&
                 query.next() && query.value(0).toInt() == 2;
            if (!ok)
                *error = query.lastError().isValid() ? causeOf(query.lastError())
                                                     : u"(Firefox のデータベースではありません)"_qs;
            // Firefox keeps a folder's children in the order of their position.
            // A value over 1 MiB (a title or address no browser writes, or a column made to
            // compute one) is fetched no further than that: it refuses the file.
            ok = ok && query.exec(u"SELECT b.id, b.type, b.parent, substr(b.title, 1, 1048577), "
                                  "b.dateAdded, substr(b.guid, 1, 64), substr(p.url, 1, 1048577) "
                                  "FROM moz_bookmarks b LEFT JOIN moz_places p ON p.id = b.fk "
                                  "ORDER BY b.parent, b.position, b.id"_qs);
            if (!ok && error->isEmpty())
                *error = causeOf(query.lastError());
            while (ok && query.next()) {
                if (query.value(3).toString().size() > 1048576 ||
                    query.value(6).toString().size() > 1048576) {
                    *error = u"(1 MiB を超える値があります)"_qs;
                    ok = false;
                    break;
                }
                Row row;
                row.id = query.value(0).toLongLong();
                row.type = query.value(1).toInt();
                row.title = query.value(3).toString();
                row.date = query.value(4).toLongLong() / 1000000;
                row.url = query.value(6).toString();
                const QString guid = query.value(5).toString();
                if (guid == u"menu________"_qs || guid == u"toolbar_____"_qs ||
                    guid == u"unfiled_____"_qs || guid == u"mobile______"_qs)
                    roots->insert(guid, row);
                (*children)[query.value(2).toLongLong()].push_back(std::move(row));
            }
            if (ok && query.lastError().isValid()) {
                *error = causeOf(query.lastError());
                ok = false;
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

} // namespace

bool FirefoxPlaces::read(const QString &path, BookmarkTree *tree, QString *error)
{
    // The copy holds the whole history: it lasts as long as this reading, and one a killed run
    // left goes at the next start.
    QString folder;
    const int held = CheckedFile::createTemporaryFolder(QDir::tempPath(), &folder);
    const auto release = qScopeGuard([&] { CheckedFile::releaseTemporaryFolder(folder, held); });
    QString copy;
    QString cause;
    if (held < 0) {
        *error = u"一時フォルダを作成できません ["_qs + QDir::tempPath() + u"] "_qs +
                 SystemError::text(errno);
        return false;
    }
    if (!copyDatabase(path, folder, &copy, error))
        return false;
    QHash<qint64, std::vector<Row>> children;
    QHash<QString, Row> roots;
    if (!readRows(copy, &children, &roots, &cause)) {
        *error = u"Firefox のブックマークを読み込めません ["_qs + path + u"] "_qs + cause;
        return false;
    }
    if (!roots.contains(u"menu________"_qs) && !roots.contains(u"toolbar_____"_qs) &&
        !roots.contains(u"unfiled_____"_qs)) {
        *error = u"Firefox のブックマークが見つかりません ["_qs + path + u"]"_qs;
        return false;
    }

    // Depth first without recursion: a folder's children are walked from a stack of their
    // lists, so a tree nested however deep is read in bounded stack space. A folder that is
    // reached twice (a damaged database) is written once.
    QSet<qint64> seen;
    struct Level
    {
        const std::vector<Row> *rows;
        size_t next;
    };
    static const std::vector<Row> none;
    for (const QString &guid :
         {u"menu________"_qs, u"toolbar_____"_qs, u"unfiled_____"_qs, u"mobile______"_qs}) {
        if (!roots.contains(guid))
            continue;
        const Row &root = roots[guid];
        const auto found = children.constFind(root.id);
        const std::vector<Row> &top = found == children.cend() ? none : *found;
        if (guid == u"mobile______"_qs && top.empty())
            continue;
        seen.insert(root.id);
        tree->startFolder(rootName(guid), root.date);
        std::vector<Level> stack{{&top, 0}};
        while (!stack.empty()) {
            Level &level = stack.back();
            if (level.next >= level.rows->size()) {
                tree->endFolder();
                stack.pop_back();
                continue;
            }
            const Row &row = (*level.rows)[level.next++];
            if (row.type == Folder && !seen.contains(row.id)) {
                seen.insert(row.id);
                tree->startFolder(row.title, row.date);
                const auto sub = children.constFind(row.id);
                stack.push_back({sub == children.cend() ? &none : &*sub, 0});
            } else if (row.type == Bookmark && !row.url.isEmpty() &&
                       !row.url.startsWith(u"place:"_qs)) {
                tree->addLink(row.title.isEmpty() ? row.url : row.title, row.url, row.date);
            }
        }
    }
    return true;
}
