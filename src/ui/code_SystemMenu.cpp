// SPDX-License-Identifier: GPL-3.0-or-later
#include "code_SystemMenu.h"

#include "cls_SystemMenu.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QPointer>
#include <QShortcut>
#include <QWidget>

namespace code_SystemMenu {

namespace {

QPointer<cls_SystemMenu> MenuEvent;

const char *const MenuName = "SystemMenu";
const char *const ProcName = "SystemMenuProc";
const char *const CommandProperty = "systemCommand";

// Shows the menu where the window manager's would be found, and carries out the window's own
// commands when no filter before it has taken them.
class MenuPresenter : public QObject
{
public:
    MenuPresenter(QWidget *window, QMenu *menu) : QObject(window), m_window(window), m_menu(menu)
    {
        auto *shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), window);
        connect(shortcut, &QShortcut::activated, this,
                [this] { m_menu->popup(m_window->mapToGlobal(QPoint(0, 0))); });
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_window)
            return false;
        if (event->type() == QEvent::ContextMenu) {
            // Controls with a menu of their own (text boxes) take their clicks first; what
            // arrives here was a click on the window itself, a group box or a label.
            m_menu->popup(static_cast<QContextMenuEvent *>(event)->globalPos());
            return true;
        }
        if (event->type() == SystemCommandEvent::eventType()) {
            switch (static_cast<SystemCommandEvent *>(event)->command()) {
            case SC_MINIMIZE:
                m_window->showMinimized();
                return true;
            case SC_CLOSE:
                m_window->close();
                return true;
            default:
                return true;
            }
        }
        return false;
    }

private:
    QWidget *m_window;
    QMenu *m_menu;
};

// The replacement window procedure: relays the program's own menu items (below 60000) and
// lets every event go on to the window as before.
class SystemMenuProc : public QObject
{
public:
    explicit SystemMenuProc(QWidget *window) : QObject(window)
    {
        setObjectName(QString::fromLatin1(ProcName));
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == SystemCommandEvent::eventType()) {
            const int command = static_cast<SystemCommandEvent *>(event)->command();
            if (command < 60000 && MenuEvent)
                MenuEvent->SetClickEvent(command);
        }
        return false;
    }
};

QAction *addSystemCommand(QWidget *window, QMenu *menu, const QString &text, int command)
{
    QAction *action = menu->addAction(text);
    action->setProperty(CommandProperty, command);
    QObject::connect(action, &QAction::triggered, window, [window, command] {
        SystemCommandEvent event(command);
        QCoreApplication::sendEvent(window, &event);
    });
    return action;
}

} // namespace

QEvent::Type SystemCommandEvent::eventType()
{
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

QMenu *GetSystemMenu(QWidget *window)
{
    if (auto *menu =
            window->findChild<QMenu *>(QString::fromLatin1(MenuName), Qt::FindDirectChildrenOnly))
        return menu;
    auto *menu = new QMenu(window);
    menu->setObjectName(QString::fromLatin1(MenuName));
    // The separator between the window's commands and a program's items stays visible.
    menu->setSeparatorsCollapsible(false);
    addSystemCommand(window, menu, u"最小化(&N)"_qs, SC_MINIMIZE);
    addSystemCommand(window, menu, u"閉じる(&C)"_qs, SC_CLOSE)
        ->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    window->installEventFilter(new MenuPresenter(window, menu));
    return menu;
}

void AppendSystemMenu(QWidget *window, int flags, int itemNumber, const QString &text)
{
    QMenu *menu = GetSystemMenu(window);
    if (flags & MF_SEPARATOR) {
        menu->addSeparator()->setProperty(CommandProperty, itemNumber);
        return;
    }
    addSystemCommand(window, menu, text, itemNumber);
}

void SetMenuEvent(cls_SystemMenu *relay)
{
    MenuEvent = relay;
}

void HookWindow(QWidget *window)
{
    if (IsHooked(window))
        return;
    // Filters installed later see an event first: the hook runs before the menu's own
    // handling, as a replaced window procedure runs before the one it replaced.
    window->installEventFilter(new SystemMenuProc(window));
}

void UnhookWindow(QWidget *window)
{
    auto *proc =
        window->findChild<QObject *>(QString::fromLatin1(ProcName), Qt::FindDirectChildrenOnly);
    if (!proc)
        return;
    window->removeEventFilter(proc);
    delete proc;
}

bool IsHooked(const QWidget *window)
{
    return window->findChild<QObject *>(QString::fromLatin1(ProcName),
                                        Qt::FindDirectChildrenOnly) != nullptr;
}

} // namespace code_SystemMenu
