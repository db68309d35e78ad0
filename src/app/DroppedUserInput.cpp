#include "app/DroppedUserInput.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

DroppedUserInput::DroppedUserInput(QWidget &window, QWidget *cancelControl, std::function<void()> cancel)
    : m_window(window), m_cancelControl(cancelControl), m_cancel(std::move(cancel))
{
    QCoreApplication::instance()->installEventFilter(this);
}

DroppedUserInput::~DroppedUserInput()
{
    // Input held back while events were processed without it reaches the filter now, and ends there.
    QCoreApplication::processEvents();
    QCoreApplication::instance()->removeEventFilter(this);
}

bool DroppedUserInput::isUserInput(int eventType)
{
    switch (eventType) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}

bool DroppedUserInput::isMouseInput(int eventType) const
{
    return eventType == QEvent::MouseButtonPress || eventType == QEvent::MouseButtonRelease ||
           eventType == QEvent::MouseButtonDblClick;
}

bool DroppedUserInput::eventFilter(QObject *watched, QEvent *event)
{
    if (!isUserInput(event->type()))
        return false;
    const auto *widget = qobject_cast<QWidget *>(watched);
    if (widget ? widget->window() != &m_window : watched != m_window.windowHandle())
        return false;
    if (event->type() == QEvent::KeyPress && m_cancel &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        m_cancel();
        return true;
    }
    // The window system's window hands a click on to the widget under the mouse, where it is judged.
    if (m_cancelControl && isMouseInput(event->type()))
        return widget && widget != m_cancelControl;
    return true;
}
