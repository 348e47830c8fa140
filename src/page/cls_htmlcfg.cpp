// SPDX-License-Identifier: GPL-3.0-or-later
#include "cls_htmlcfg.h"

#include "base/RunError.h"
#include "base/TextLines.h"

namespace {

const QString Marker = u"**Parameter_"_qs;

} // namespace

void cls_htmlcfg::HtmlStatusRead()
{
    QStringList lines;
    QString error;
    if (!TextLines::readLines(m_fileName, &lines, &error))
        throw RunError(u"テンプレートファイルを読み込めません ["_qs + m_fileName + u"]"_qs);
    readLines(lines);
}

void cls_htmlcfg::readLines(const QStringList &lines)
{
    m_blocks.clear();
    m_index.clear();
    m_foldedIndex.clear();
    QString collected;
    QString name;
    bool inside = false;
    // The file's last line is never examined: a block ended on it is not kept.
    const qsizetype examined = lines.size() - 1;
    for (qsizetype i = 0; i < examined; ++i) {
        QString line = lines.at(i);
        if (!inside && line.size() >= 13 && line.startsWith(u"<!--"_qs) &&
            line.endsWith(u"=Start-->"_qs)) {
            name = line.mid(4, line.size() - 13);
            collected.clear();
            if (++i >= examined)
                break;
            line = lines.at(i);
            inside = true;
        }
        if (inside && line.size() == name.size() + 11 && line.startsWith(u"<!--"_qs) &&
            line.endsWith(u"=End-->"_qs) && QStringView(line).mid(4, name.size()) == name) {
            const QString folded = name.toUpper();
            if (m_foldedIndex.contains(folded))
                throw RunError(u"テンプレートのブロック名が重複しています ["_qs + name + u"]"_qs);
            m_foldedIndex.insert(folded, m_blocks.size());
            m_index.insert(name, m_blocks.size());
            m_blocks.append({name, collected});
            collected.clear();
            inside = false;
        }
        collected.append(line).append(u"\r\n"_qs);
    }
}

QString cls_htmlcfg::GetSetting(const QString &name) const
{
    const auto it = m_index.constFind(name);
    if (it == m_index.cend())
        return QString();
    QString text = substitute(m_blocks.at(*it).Data, m_parameters);
    if (text.endsWith(u"\r\n"_qs))
        text.chop(2);
    return text;
}

bool cls_htmlcfg::GetSettingAround(const QString &name, qsizetype cut, QString &before,
                                   QString &after) const
{
    const auto it = m_index.constFind(name);
    if (it == m_index.cend())
        return false;
    QList<qsizetype> cuts;
    QString text = substitute(m_blocks.at(*it).Data, m_parameters, cut, &cuts);
    // The line end GetSetting drops must lie after the cut, or it would depend on the parameter.
    if (cuts.size() != 1 || !text.endsWith(u"\r\n"_qs) || text.size() - 2 < cuts.first())
        return false;
    text.chop(2);
    before = text.first(cuts.first());
    after = text.sliced(cuts.first());
    return true;
}

QString cls_htmlcfg::substitute(QStringView text, const QStringList &parameters, qsizetype cut,
                                QList<qsizetype> *cuts)
{
    const qsizetype count = parameters.size();
    QString out;
    out.reserve(text.size());
    qsizetype from = 0;
    for (;;) {
        const qsizetype b = text.indexOf(Marker, from);
        if (b < 0) {
            out.append(text.mid(from));
            break;
        }
        out.append(text.mid(from, b - from));
        // The number: its leading digits, taken modulo the count as they are read, so a
        // number of any length works. What is dropped is counted from its plain form.
        qsizetype p = b + Marker.size();
        qsizetype modulo = 0;
        qsizetype significant = 0;
        while (p < text.size() && text[p] >= u'0' && text[p] <= u'9') {
            const int digit = text[p].unicode() - u'0';
            if (count > 0)
                modulo = (modulo * 10 + digit) % count;
            if (significant > 0 || digit != 0)
                ++significant;
            ++p;
        }
        const qsizetype numberLength = qMax<qsizetype>(1, significant);
        if (count > 0 && cuts && modulo == cut)
            cuts->append(out.size());
        else if (count > 0)
            out.append(parameters.at(modulo));
        from = qMin(text.size(), b + Marker.size() + numberLength + 2);
    }
    return out;
}
