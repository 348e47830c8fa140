// SPDX-License-Identifier: GPL-3.0-or-later
// A shortcut file from anyone, under a name from anyone: its title and address reach the page
// escaped, its restore record counts its lines, no title raises a message of its own (nothing
// of it is lost), and no temporary file outlives the object.
#include "FuzzSupport.h"
#include "base/MessageSink.h"
#include "base/RunError.h"
#include "base/TextLines.h"
#include "page/cls_URL.h"

namespace {

class Quiet : public MessageSink
{
public:
    void information(const QString &) override { ++shown; }
    int shown = 0;
};

bool escaped(const QString &text)
{
    return !text.contains(u'<') && !text.contains(u'>') && !text.contains(u'"');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const char *data, size_t size)
{
    static Quiet quiet;
    static const bool once = [] {
        MessageSink::install(&quiet);
        // Temporary copies land in the scratch folder, where they can be counted.
        qputenv("TMPDIR", QFile::encodeName(fuzz::scratch() + u"/tmp"_qs));
        return QDir().mkpath(fuzz::scratch() + u"/tmp"_qs);
    }();
    (void)once;
    // The file name (less ".url"), then the file, separated by the first NUL byte.
    const QByteArray input(data, qsizetype(size));
    const qsizetype nul = input.indexOf('\0');
    QString name = nul < 0 ? u"link"_qs : QString::fromUtf8(input.left(nul));
    const QByteArray content = nul < 0 ? input : input.mid(nul + 1);
    name.remove(u'/');
    name.remove(QChar(0));
    if (name.isEmpty() || QFile::encodeName(name).size() > 200)
        name = u"link"_qs;
    const QString folder = fuzz::scratch() + u"/links/"_qs;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    const QString file = name + u".url"_qs;
    fuzz::writeFile(folder + file, content.constData(), size_t(content.size()));

    const int shownBefore = quiet.shown;
    {
        cls_URL url;
        try {
            url.SetFileName(folder, file);
        } catch (const RunError &) {
            return 0;
        }
        fuzz::check(escaped(url.Title()) && escaped(url.URL()), "escaped for the page");
        fuzz::check(!url.URL().contains(u'\r') && !url.URL().contains(u'\n'), "one-line address");
        fuzz::check(quiet.shown == shownBefore, "no message per title");
        const QStringList record = TextLines::split(url.DecodeCode(7));
        const QStringList lines = TextLines::split(cls_URL::FileText(content));
        fuzz::check(record.size() == 3 + lines.size(), "record holds every line");
        fuzz::check(record.at(2) == u"FileLine="_qs + QString::number(lines.size()), "line count");
        fuzz::check(fuzz::readFile(folder + file) == content, "shortcut never changed");
    }
    fuzz::check(QDir(fuzz::scratch() + u"/tmp"_qs).isEmpty(), "temporary copy removed");
    return 0;
}
