#include "closeguard.h"

#include <QCloseEvent>
#include <QWidget>

CloseGuard::CloseGuard(QWidget *window, std::function<bool()> busy, std::function<bool()> confirm)
    : QObject(window), m_busy(std::move(busy)), m_confirm(std::move(confirm))
{
    window->installEventFilter(this);
}

bool CloseGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Close && watched == parent() && m_busy() && !m_confirm()) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
