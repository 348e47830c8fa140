#pragma once

#include <QByteArray>
#include <QString>

// One internet shortcut file of a favorites folder: its title (the file name less ".url"),
// its address, and its lines for the restore block.
class cls_URL
{
public:
    cls_URL() = default;
    ~cls_URL();
    cls_URL(const cls_URL &) = delete;
    cls_URL &operator=(const cls_URL &) = delete;

    // folderPath ends in "/". Throws RunError when the file cannot be read.
    void SetFileName(const QString &folderPath, const QString &fileName);
    const QString &Title() const { return m_title; }
    const QString &URL() const { return m_url; }
    QString DecodeCode(int ParentID) const;

    // "&", "<", ">" and the double quote as entities, so a title or address cannot leave
    // the attribute or element it is put into.
    static QString EscapeHtml(const QString &text);
    // The name as the code page can hold it: each character it cannot hold becomes a blank.
    static QString CodePageSafe(const QString &text);

    const QString &fullPath() const { return m_fullPath; }

private:
    bool CopyToTempFile();

    QString m_url;
    QString m_fileName;
    QString m_title;
    QString m_folderPath;
    QString m_fullPath;
    bool m_tempCopy = false;
    QByteArray m_content; // the file as read, for the restore block
};
