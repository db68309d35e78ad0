#include <gtest/gtest.h>
#include <QApplication>

// The window tests need a QApplication; they run on the offscreen platform.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
