// SPDX-License-Identifier: GPL-3.0-or-later
// A favorites tree from anyone's names and bytes, converted with its restore block and
// restored: the same names and the same bytes come back.
#include "FuzzSupport.h"
#include "base/MessageSink.h"
#include "page/TemplateBlocks.h"
#include "page/cls_htmlcfg.h"
#include "run/MakeHtmlProcess.h"

#include <QMap>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Quiet : public MessageSink
{
public:
    void information(const QString &) override {}
};

class Blocks : public TemplateBlocks
{
public:
    explicit Blocks(const QString &file)
    {
        m_cfg.SetFileName(file);
        m_cfg.HtmlStatusRead();
    }
    void Htmlcfg_SetParameter(const QStringList &p) override { m_cfg.SetParameter(p); }
    QString Htmlcfg_GetSetting(const QString &key) const override { return m_cfg.GetSetting(key); }

private:
    cls_htmlcfg m_cfg;
};

// The tree by its names' own bytes, each file with its bytes.
void tree(const QByteArray &dir, const QByteArray &rel, QMap<QByteArray, QByteArray> &out)
{
    DIR *d = ::opendir(dir.constData());
    if (!d)
        fuzz::broken("a folder of the tree cannot be read");
    while (dirent *e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray path = dir + '/' + name;
        if (e->d_type == DT_DIR) {
            tree(path, rel + name + '/', out);
            continue;
        }
        QByteArray bytes;
        const int fd = ::open(path.constData(), O_RDONLY);
        char buffer[4096];
        for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, n);
        ::close(fd);
        out[rel + name] = bytes;
    }
    ::closedir(d);
}

// A name from the input: no "/" and no NUL, not "." or "..", short enough for ".url".
QByteArray nameOf(QByteArray raw)
{
    raw.replace('/', '_');
    raw = raw.left(200);
    if (raw.isEmpty() || raw == "." || raw == "..")
        raw.prepend('n');
    return raw;
}

} // namespace

// Pieces at NUL bytes; in each, the name up to the first byte 01 and the file's bytes after
// it. A piece whose name ends in byte 02 is a folder the next pieces go into, an empty
// piece goes back up.
extern "C" int LLVMFuzzerTestOneInput(const char *data, size_t size)
{
    static Quiet quiet;
    MessageSink::install(&quiet);
    const QString root = fuzz::scratch() + u"/run"_qs;
    QDir(root).removeRecursively();
    const QByteArray top = QFile::encodeName(root) + "/Top";
    QDir().mkpath(QFile::decodeName(top));
    QList<QByteArray> folders{top};
    bool anyFile = false;
    for (const QByteArray &piece : fuzz::pieces(data, size, 0)) {
        if (piece.isEmpty()) {
            if (folders.size() > 1)
                folders.removeLast();
            continue;
        }
        const qsizetype cut = piece.indexOf('\x01');
        QByteArray name = piece.left(cut < 0 ? piece.size() : cut);
        if (name.endsWith('\x02') && folders.size() < 20) {
            const QByteArray folder = folders.last() + '/' + nameOf(name.chopped(1));
            ::mkdir(folder.constData(), 0755);
            struct stat st;
            if (::lstat(folder.constData(), &st) == 0 && S_ISDIR(st.st_mode))
                folders.append(folder);
            continue;
        }
        const QByteArray path = folders.last() + '/' + nameOf(name) + ".url";
        struct stat st;
        if (::lstat(path.constData(), &st) == 0)
            continue;
        const QByteArray bytes = cut < 0 ? QByteArray() : piece.mid(cut + 1);
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd >= 0) {
            anyFile = anyFile || ::write(fd, bytes.constData(), size_t(bytes.size())) >= 0;
            ::close(fd);
        }
    }
    if (!anyFile)
        return 0;
    // Folders without a shortcut below them are not in the page.
    QMap<QByteArray, QByteArray> before;
    tree(top, QByteArray(), before);

    Blocks blocks(QStringLiteral(VELLUMDEX_SOURCE_DIR "/tests/data/convert/simple.html"));
    MakeHtmlProcess run;
    run.setInputFolder(QFile::decodeName(top));
    run.setDecodeFlag(true);
    const QString page = root + u"/page.html"_qs;
    run.HtmlMake(page, blocks);
    MakeHtmlProcess restore;
    fuzz::check(restore.DecodeStart(page, root + u"/base"_qs), "a page written here restores");
    QMap<QByteArray, QByteArray> after;
    tree(QFile::encodeName(root) + "/base/Top", QByteArray(), after);
    fuzz::check(after == before, "the same names and bytes come back");
    return 0;
}
