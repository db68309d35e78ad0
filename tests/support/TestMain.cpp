#include <gtest/gtest.h>
#include <QCoreApplication>

// Test binaries that need widgets provide their own main with a QApplication.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
