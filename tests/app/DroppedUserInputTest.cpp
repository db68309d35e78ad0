#include "app/DroppedUserInput.h"

#include <gtest/gtest.h>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

// A click on the window during a fetch is dropped, also one still queued when the fetch ends; a click
// afterwards counts, and so does one on another window (a message box) meanwhile.
TEST(DroppedUserInput, InputDuringAFetchIsNeverDeliveredLater)
{
    QWidget window;
    QPushButton button(&window);
    QPushButton messageBox;
    window.show();
    messageBox.show();
    int clicks = 0;
    int messageBoxClicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
    QObject::connect(&messageBox, &QPushButton::clicked, [&] { ++messageBoxClicks; });
    {
        const DroppedUserInput fetching(window);
        QTest::mouseClick(&button, Qt::LeftButton);
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(&button, new QMouseEvent(type, QPointF(1, 1), QPointF(1, 1),
                                                                 Qt::LeftButton, Qt::LeftButton, {}));
        QTest::mouseClick(&messageBox, Qt::LeftButton);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(messageBoxClicks, 1);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}
