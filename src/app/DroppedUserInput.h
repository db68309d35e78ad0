#pragma once

#include <functional>
#include <QObject>

class QWidget;

// While it lives, the user's input (mouse buttons, keys, wheel, touch) to the window is dropped, never
// delivered later: the window paints during a fetch without taking input, and a click on the greyed-out
// button must not start a second fetch once the first has ended. Input still queued when it ends is
// dropped too. Other windows, such as a message box shown meanwhile, take their input as ever. Only the
// cancel control takes its clicks, and Esc cancels.
class DroppedUserInput : public QObject
{
public:
    explicit DroppedUserInput(QWidget &window, QWidget *cancelControl = nullptr,
                              std::function<void()> cancel = {});
    ~DroppedUserInput() override;

    static bool isUserInput(int eventType);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isMouseInput(int eventType) const;

    QWidget &m_window;
    QWidget *m_cancelControl;
    std::function<void()> m_cancel;
};
