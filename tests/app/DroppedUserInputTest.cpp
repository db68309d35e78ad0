#include "app/DroppedUserInput.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

// A click during a fetch is dropped, also one still queued when the fetch ends; a click afterwards counts,
// and so does one on another window meanwhile.
TEST(DroppedUserInput, InputDuringAFetchIsNeverDeliveredLater)
{
    QWidget window;
    QPushButton button(QStringLiteral("Get XML, convert"), &window);
    QPushButton messageBoxButton(QStringLiteral("OK"));
    window.show();
    messageBoxButton.show();
    int clicks = 0;
    int messageBoxClicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
    QObject::connect(&messageBoxButton, &QPushButton::clicked, [&] { ++messageBoxClicks; });
    const QPoint centre = button.rect().center();
    const struct
    {
        const char *name;
        std::function<void()> input;
    } cases[] = {
        {"delivered click", [&] { QTest::mouseClick(&button, Qt::LeftButton); }},
        {"queued click",
         [&] {
             for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
                 QCoreApplication::postEvent(&button,
                                             new QMouseEvent(type, centre, button.mapToGlobal(centre),
                                                             Qt::LeftButton, Qt::LeftButton, {}));
         }},
        {"key", [&] { QTest::keyClick(&button, Qt::Key_Space); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        {
            const DroppedUserInput fetching(window);
            c.input();
            QTest::mouseClick(&messageBoxButton, Qt::LeftButton);
        }
        QCoreApplication::processEvents();
        EXPECT_EQ(clicks, 0);
    }
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(messageBoxClicks, 3);
}
