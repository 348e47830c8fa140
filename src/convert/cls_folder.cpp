#include "cls_folder.h"

#include "RunError.h"
#include "SortItems.h"
#include "TemplateBlocks.h"
#include "cls_FileSystemObject.h"
#include "cls_FolderEvents.h"

#include <limits>

bool cls_folder::GetData(QString Path, cls_folder *TopFolder, bool SortFlag, int Order, bool DESC,
                         int &IDKey)
{
    m_links.clear();
    m_subfolders.clear();
    bool retained = false;

    if (Path.endsWith(u'/') && Path.size() > 1)
        Path.chop(1);
    m_title = Path.mid(Path.lastIndexOf(u'/') + 1);
    Path += u'/';

    if (m_events)
        m_events->raiseGetData(m_title);

    cls_FileSystemObject fso;
    QStringList folders = fso.Folders(Path);
    if (SortFlag)
        SortItems::sort(folders, QString(), Order, DESC);
    for (const QString &sub : folders) {
        auto child = std::make_unique<cls_folder>();
        child->m_events = m_events;
        child->m_config = m_config;
        child->m_keepRecords = m_keepRecords;
        if (child->GetData(sub, this, SortFlag, Order, DESC, IDKey)) {
            m_subfolders.push_back(std::move(child));
            retained = true;
        }
    }

    QStringList files = fso.Files(Path);
    if (SortFlag)
        SortItems::sort(files, Path, Order, DESC);
    for (const QString &name : files) {
        if (name.size() < 4 || name.right(4).compare(u".url"_qs, Qt::CaseInsensitive) != 0)
            continue;
        auto link = std::make_unique<cls_URL>();
        link->setKeepContent(m_keepRecords);
        link->SetFileName(Path, name);
        m_links.push_back(std::move(link));
        retained = true;
    }

    if (retained) {
        m_parent = TopFolder;
        m_id = IDKey;
        if (IDKey == std::numeric_limits<int>::max())
            throw RunError(u"フォルダの数が多すぎます"_qs);
        ++IDKey;
    }
    return retained;
}

void cls_folder::ContentCode(const QString &TopSpace,
                             const std::function<void(const QString &)> &out) const
{
    if (m_events)
        m_events->raiseGetHtmlCode(m_title);
    // A folder's own links come before its subfolders.
    QStringList parameters(10);
    for (const auto &link : m_links) {
        parameters[0] = link->Title();
        parameters[1] = link->URL();
        m_config->Htmlcfg_SetParameter(parameters);
        out(TopSpace + m_config->Htmlcfg_GetSetting(u"Link"_qs));
    }
    for (const auto &sub : m_subfolders)
        sub->HtmlCode(TopSpace, out);
}

void cls_folder::HtmlCode(const QString &TopSpace,
                          const std::function<void(const QString &)> &out) const
{
    if (m_topFlag) {
        ContentCode(TopSpace, out);
        return;
    }
    // The block around the content, and the content folder by folder in between: a deep tree
    // is never held as text, level inside level.
    QString before;
    QString after;
    SetFolderParameters(TopSpace, QString());
    if (!m_config->Htmlcfg_GetSettingAround(u"Folder"_qs, 2, before, after)) {
        out(HtmlCode(TopSpace));
        return;
    }
    out(before);
    ContentCode(TopSpace, out);
    out(after);
}

QString cls_folder::HtmlCode(const QString &TopSpace) const
{
    QString content;
    ContentCode(TopSpace, [&content](const QString &piece) { content += piece; });
    if (m_topFlag)
        return content;
    SetFolderParameters(TopSpace, content);
    return m_config->Htmlcfg_GetSetting(u"Folder"_qs);
}

void cls_folder::SetFolderParameters(const QString &TopSpace, const QString &content) const
{
    QStringList parameters(10);
    parameters[0] = MenuName();
    // A folder name can hold "<" or "&" here; the page gets it escaped like a link title.
    parameters[1] = cls_URL::EscapeHtml(m_title);
    parameters[2] = content;
    parameters[3] = TopSpace;
    m_config->Htmlcfg_SetParameter(parameters);
}

void cls_folder::appendOpenCode(QString &out) const
{
    for (const auto &sub : m_subfolders)
        sub->appendOpenCode(out);
    if (m_topFlag)
        return;
    for (const auto &sub : m_subfolders) {
        out += u"if ("_qs + sub->MenuName() + u"_l.style.display ==''){"_qs + MenuName() +
               u"_l.style.display='';}\r\n"_qs;
    }
}

void cls_folder::appendCloseCode(QString &out) const
{
    if (!m_topFlag) {
        for (const auto &sub : m_subfolders) {
            out += u"if ("_qs + MenuName() + u"_l.style.display =='none'){"_qs + sub->MenuName() +
                   u"_l.style.display='none';}\r\n"_qs;
        }
    }
    for (const auto &sub : m_subfolders)
        sub->appendCloseCode(out);
}

void cls_folder::appendAllCloseCode(QString &out) const
{
    for (const auto &sub : m_subfolders)
        sub->appendAllCloseCode(out);
    if (!m_topFlag)
        out += MenuName() + u"_l.style.display = 'none';\r\n"_qs;
}

QString cls_folder::OpenCode() const
{
    QString out;
    appendOpenCode(out);
    return out;
}

QString cls_folder::CloseCode() const
{
    QString out;
    appendCloseCode(out);
    return out;
}

QString cls_folder::AllCloseCode() const
{
    QString out;
    appendAllCloseCode(out);
    return out;
}

qint64 cls_folder::LinkCount() const
{
    qint64 count = qint64(m_links.size());
    for (const auto &sub : m_subfolders)
        count += sub->LinkCount();
    return count;
}

void cls_folder::appendFolderCode(QString &out) const
{
    // Pre-order: a parent's record always comes before its children's.
    out += u"ID="_qs + QString::number(m_id) + u"\r\nTitle="_qs + m_title + u"\r\nParentID="_qs +
           QString::number(m_parent ? m_parent->m_id : 0) + u"\r\n"_qs;
    for (const auto &sub : m_subfolders)
        sub->appendFolderCode(out);
}

void cls_folder::appendLinkCode(QString &out, const std::function<void(QString &)> &drain) const
{
    for (const auto &link : m_links)
        out += link->DecodeCode(m_id);
    if (drain)
        drain(out);
    for (const auto &sub : m_subfolders)
        sub->appendLinkCode(out, drain);
}

QString cls_folder::EncodeFolderCode() const
{
    QString out;
    appendFolderCode(out);
    return out;
}

QString cls_folder::EncodeLinkCode() const
{
    QString out;
    appendLinkCode(out);
    return out;
}
