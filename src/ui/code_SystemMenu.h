// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QEvent>
#include <QString>

class QMenu;
class QWidget;
class cls_SystemMenu;

// The window menu of a main window. Linux window managers let no program add to their own
// window menu, so the window carries one of its own that opens where theirs would be found:
// a right click on a free part of the window, or Alt+Space. Choosing an item sends the window
// a SystemCommandEvent; the window's own commands (from 0xF000) are carried out by the menu,
// the items a program appends reach its relay only once HookWindow has run.
namespace code_SystemMenu {

constexpr int MF_STRING = 0x0;
constexpr int MF_SEPARATOR = 0x800;
// The window's own commands.
constexpr int SC_MINIMIZE = 0xF020;
constexpr int SC_CLOSE = 0xF060;

class SystemCommandEvent : public QEvent
{
public:
    explicit SystemCommandEvent(int command) : QEvent(eventType()), m_command(command) {}
    int command() const { return m_command; }
    static QEvent::Type eventType();

private:
    int m_command;
};

// The window's menu, made (with its own commands) on first use.
QMenu *GetSystemMenu(QWidget *window);
void AppendSystemMenu(QWidget *window, int flags, int itemNumber, const QString &text);
void SetMenuEvent(cls_SystemMenu *relay);
void HookWindow(QWidget *window);
void UnhookWindow(QWidget *window);
bool IsHooked(const QWidget *window);

} // namespace code_SystemMenu
