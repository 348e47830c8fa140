// SPDX-License-Identifier: GPL-3.0-or-later
// A template from anyone: its blocks are read and handed out with markers replaced, the
// substitution ends for every text, and what comes out is bounded by what went in.
#include "FuzzSupport.h"
#include "base/Cp932.h"
#include "base/RunError.h"
#include "base/TextLines.h"
#include "page/cls_htmlcfg.h"

extern "C" int LLVMFuzzerTestOneInput(const char *data, size_t size)
{
    // The template, then the texts of the parameters, separated by NUL bytes.
    const QList<QByteArray> parts = fuzz::pieces(data, size, 1);
    QStringList parameters;
    for (qsizetype i = 1; i < parts.size() && i <= 10; ++i)
        parameters.append(Cp932::toUnicode(parts.at(i)));
    const QString path = fuzz::scratch() + u"/template.html"_qs;
    fuzz::writeFile(path, parts.at(0).constData(), size_t(parts.at(0).size()));

    cls_htmlcfg cfg;
    cfg.SetFileName(path);
    try {
        cfg.HtmlStatusRead();
    } catch (const RunError &) {
        return 0; // two blocks of one name
    }
    qsizetype longest = 0;
    for (const QString &p : parameters)
        longest = qMax(longest, p.size());
    cfg.SetParameter(parameters);
    const QString marker = u"**Parameter_"_qs;
    for (const cls_cfgData &block : cfg.blocks()) {
        const QString text = cfg.GetSetting(block.Key);
        const qsizetype markers = block.Data.count(marker);
        fuzz::check(text.size() <= block.Data.size() + markers * longest, "output bounded");
        fuzz::check(markers > 0 || text == block.Data || text + u"\r\n"_qs == block.Data,
                    "a block without markers comes back as it is");
    }
    // A parameter that holds a marker is never expanded again, whatever the block.
    for (const QString &p : parameters) {
        const QString once = cls_htmlcfg::substitute(marker + u"0xx"_qs, {p});
        fuzz::check(once == p, "a marker takes its parameter once");
    }
    // Same blocks from the same lines in memory.
    cls_htmlcfg again;
    again.readLines(TextLines::split(Cp932::toUnicode(parts.at(0))));
    fuzz::check(again.blocks().size() == cfg.blocks().size(), "file and memory read alike");
    return 0;
}
