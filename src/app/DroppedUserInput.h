#pragma once

#include <QObject>

// While it lives, the user's input (mouse buttons, keys, wheel, touch) is dropped, never delivered later:
// the window paints during a fetch without taking input, and a click on the greyed-out button must not
// start a second fetch once the first has ended. Input still queued when it ends is dropped too.
class DroppedUserInput : public QObject
{
public:
    DroppedUserInput();
    ~DroppedUserInput() override;

    static bool isUserInput(int eventType);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
