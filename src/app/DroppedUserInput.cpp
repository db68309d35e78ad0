#include "app/DroppedUserInput.h"

#include <QCoreApplication>
#include <QEvent>

DroppedUserInput::DroppedUserInput()
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

bool DroppedUserInput::eventFilter(QObject *, QEvent *event)
{
    return isUserInput(event->type());
}
