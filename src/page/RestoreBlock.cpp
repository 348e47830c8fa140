// SPDX-License-Identifier: GPL-3.0-or-later
#include "RestoreBlock.h"

QString RestoreBlock::decodeEntities(const QString &text)
{
    if (!text.contains(u'&'))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'&') {
            static const struct
            {
                QString entity;
                QChar c;
            } entities[] = {
                {u"&amp;"_qs, u'&'}, {u"&lt;"_qs, u'<'}, {u"&gt;"_qs, u'>'}, {u"&quot;"_qs, u'"'}};
            bool done = false;
            for (const auto &e : entities) {
                if (QStringView(text).mid(i).startsWith(e.entity)) {
                    out += e.c;
                    i += e.entity.size() - 1;
                    done = true;
                    break;
                }
            }
            if (done)
                continue;
        }
        out += text.at(i);
    }
    return out;
}
