// SPDX-License-Identifier: GPL-3.0-or-later
// A definition file from anyone beside the program: the catalogue takes it only with a
// caption line, and its image list reads to no more slots and sets than the file names.
#include "FuzzSupport.h"
#include "base/Cp932.h"
#include "definitions/cls_ConfigData.h"
#include "definitions/cls_ConfigDatas.h"
#include "settings/code_main.h"

extern "C" int LLVMFuzzerTestOneInput(const char *data, size_t size)
{
    const QString program = fuzz::scratch() + u"/program"_qs;
    QDir(program).removeRecursively();
    QDir().mkpath(program + u"/Config"_qs);
    fuzz::writeFile(program + u"/Config/guide.HTML"_qs, data, size);
    code_main::ConfigIni().SetFile(fuzz::scratch() + u"/Config.ini"_qs);

    cls_ConfigDatas catalogue;
    catalogue.setPath(program);
    const QByteArray bytes(data, qsizetype(size));
    const qsizetype end = bytes.indexOf('\r') < 0 ? bytes.indexOf('\n')
                          : bytes.indexOf('\n') < 0
                              ? bytes.indexOf('\r')
                              : qMin(bytes.indexOf('\r'), bytes.indexOf('\n'));
    const QByteArray firstLine = end < 0 ? bytes : bytes.left(end);
    const QString text = Cp932::toUnicode(firstLine);
    const bool captionLine =
        text.startsWith(u"<!--"_qs) && text.endsWith(u"-->"_qs) && text.size() > 7;
    fuzz::check(catalogue.Items().size() <= 1, "one file, at most one definition");
    if (catalogue.Items().isEmpty()) {
        fuzz::check(!captionLine || firstLine.size() > 64 * 1024, "caption line accepted");
        return 0;
    }
    const auto definition = catalogue.Item(1);
    fuzz::check(definition != nullptr && captionLine, "only a caption line makes a definition");
    fuzz::check(!definition->Caption().contains(u'\r') && !definition->Caption().contains(u'\n'),
                "caption is one line");
    definition->GetStatus();
    // Past the empty ones a count may make, every slot or set is one the file names on a line.
    const qsizetype bound = std::max<qsizetype>(cls_ConfigData::MaxUnnamedCount,
                                                bytes.count('\n') + bytes.count('\r') + 1);
    fuzz::check(definition->Images().size() <= bound && definition->ImageSets().size() <= bound,
                "bounded slots");
    return 0;
}
