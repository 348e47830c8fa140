// SPDX-License-Identifier: GPL-3.0-or-later
#include "cls_ImageData.h"

#include "ImageSlotView.h"
#include "settings/code_main.h"

#include <QDir>
#include <QFileInfo>

void cls_ImageData::setSelectFile(const QString &file)
{
    if (file.isEmpty()) {
        m_selectFile.clear();
    } else {
        const QString resolved = FullPath(file);
        const QFileInfo info(resolved);
        m_selectFile = info.exists() && !info.isDir() ? resolved : QString();
    }
    if (m_view) {
        ShowFileText();
        ShowPicture();
    }
}

QString cls_ImageData::FullPath(const QString &file) const
{
    // A drive-letter path comes from a definition made on Windows; it is kept as written and
    // simply names no file here.
    if (file.startsWith(u'/') || (file.size() >= 2 && file.at(1) == u':'))
        return file;
    QString relative = file;
    relative.replace(u'\\', u'/');
    return m_basePath + relative;
}

bool cls_ImageData::InsideDefinition(const QString &file) const
{
    QString relative = file;
    relative.replace(u'\\', u'/');
    if (relative.startsWith(u'/') || (relative.size() >= 2 && relative.at(1) == u':'))
        return false;
    const QString real = QFileInfo(m_basePath + relative).canonicalFilePath();
    if (real.isEmpty())
        return true; // names no file: nothing is taken
    const auto below = [&real](const QString &folder) {
        const QString root = QFileInfo(folder).canonicalFilePath();
        return !root.isEmpty() && real.startsWith(root + u'/');
    };
    return below(m_basePath) || below(code_main::ProgramFolder() + u"/Config"_qs);
}

void cls_ImageData::MakeCopyFileName(int n)
{
    const QString name = m_selectFile.mid(m_selectFile.lastIndexOf(u'/') + 1);
    if (n == 0 || name.isEmpty()) {
        m_copyFileName = name;
        return;
    }
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString suffix = u'_' + QString::number(n);
    m_copyFileName = dot < 0 ? name + suffix : name.left(dot) + suffix + name.mid(dot);
}

void cls_ImageData::setImageChange(bool on)
{
    m_imageChange = on;
    if (m_view)
        ShowCheckBox();
}

void cls_ImageData::setView(ImageSlotView *view)
{
    m_view = view;
    if (!m_view)
        return;
    ShowPicture();
    ShowFileText();
    ShowCheckBox();
}

void cls_ImageData::ShowFileText()
{
    const qsizetype n = m_basePath.size();
    if (n > 0 && m_selectFile.left(n).toUpper() == m_basePath.toUpper())
        m_view->showFileText(m_selectFile.mid(n));
    else
        m_view->showFileText(m_selectFile);
}

void cls_ImageData::ShowPicture()
{
    m_view->showPicture(QFileInfo::exists(m_selectFile) ? m_selectFile : QString());
}

void cls_ImageData::ShowCheckBox()
{
    m_view->showCheckBox(m_imageChange);
}
