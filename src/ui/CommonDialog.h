// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

class QWidget;

// The open and save dialogs of a window, set up the way the window's commands describe them:
// a filter in "description|pattern|" pairs, a start folder and a proposed file name. Show*
// answers false on cancel and leaves FileName as it was.
class CommonDialog
{
public:
    enum class Mode
    {
        Open,
        Save
    };

    // What one call of ShowOpen or ShowSave asks for.
    struct Request
    {
        Mode mode = Mode::Open;
        QWidget *owner = nullptr;
        QString initDir;
        QString fileName;
        QString filter; // Qt's form: "HTMLファイル (*.html)"
    };
    // Answers the chosen path, or a null or empty text for a cancel.
    using Chooser = std::function<QString(const Request &)>;

    explicit CommonDialog(QWidget *owner = nullptr) : m_owner(owner) {}

    void setFilter(const QString &Filter) { m_filter = Filter; }
    QString Filter() const { return m_filter; }
    void setInitDir(const QString &InitDir) { m_initDir = InitDir; }
    QString InitDir() const { return m_initDir; }
    void setFileName(const QString &FileName) { m_fileName = FileName; }
    QString FileName() const { return m_fileName; }

    bool ShowOpen() { return show(Mode::Open); }
    bool ShowSave() { return show(Mode::Save); }

    // Replaces Qt's dialogs (the window tests answer the dialog themselves); an empty
    // function restores them.
    void setChooser(Chooser chooser) { m_chooser = std::move(chooser); }

    // "desc|pattern|desc|pattern|" in the filter list form of Qt's dialogs.
    static QString qtFilter(const QString &Filter);

private:
    bool show(Mode mode);

    QWidget *m_owner;
    QString m_filter;
    QString m_initDir;
    QString m_fileName;
    Chooser m_chooser;
};
