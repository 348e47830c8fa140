// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommonDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

QString CommonDialog::qtFilter(const QString &Filter)
{
    const QStringList parts = Filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i);
        const QString patterns = parts.at(i + 1);
        if (description.isEmpty() && patterns.isEmpty())
            continue;
        // Qt takes the patterns from the last parentheses of the description; a description
        // that already names them is shown exactly as written.
        QString pattern = patterns;
        pattern.replace(u';', u' ');
        if (description.endsWith(u'(' + pattern + u')'))
            filters.append(description);
        else
            filters.append(description + u" ("_qs + pattern + u')');
    }
    return filters.join(u";;"_qs);
}

bool CommonDialog::show(Mode mode)
{
    Request request;
    request.mode = mode;
    request.owner = m_owner;
    request.initDir = m_initDir;
    request.fileName = m_fileName;
    request.filter = qtFilter(m_filter);

    QString chosen;
    if (m_chooser) {
        chosen = m_chooser(request);
    } else {
        const QString start =
            m_initDir.isEmpty() ? m_fileName : QDir(m_initDir).filePath(m_fileName);
        if (mode == Mode::Open)
            chosen = QFileDialog::getOpenFileName(m_owner, QString(), start, request.filter);
        else
            // The overwrite question is not asked: the page is meant to be rewritten.
            chosen = QFileDialog::getSaveFileName(m_owner, QString(), start, request.filter,
                                                  nullptr, QFileDialog::DontConfirmOverwrite);
    }
    if (chosen.isEmpty())
        return false;
    m_fileName = chosen;
    return true;
}
