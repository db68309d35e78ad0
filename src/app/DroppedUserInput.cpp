#include "app/DroppedUserInput.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

DroppedUserInput::DroppedUserInput(QWidget &window) : m_window(window)
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

bool DroppedUserInput::eventFilter(QObject *watched, QEvent *event)
{
    if (!isUserInput(event->type()))
        return false;
    if (auto *widget = qobject_cast<QWidget *>(watched))
        return widget->window() == &m_window;
    return watched == m_window.windowHandle();
}
