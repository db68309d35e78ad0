#pragma once

#include <QObject>

class QWidget;

// While it lives, the user's input (mouse buttons, keys, wheel, touch) to the window is dropped, never
// delivered later: the window paints during a fetch without taking input, and a click on the greyed-out
// button must not start a second fetch once the first has ended. Input still queued when it ends is
// dropped too. Other windows, such as a message box shown meanwhile, take their input as ever.
class DroppedUserInput : public QObject
{
public:
    explicit DroppedUserInput(QWidget &window);
    ~DroppedUserInput() override;

    static bool isUserInput(int eventType);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget &m_window;
};
