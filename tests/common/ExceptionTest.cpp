#include "common/Exception.h"

#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <stdexcept>

TEST(ExceptionTest, ClassNamesFollowTheThrownType)
{
    struct Case
    {
        std::function<void()> raise;
        const char *className;
        const char *message;
    };
    const Case cases[] = {
        {[] { throw Exception("plain"); }, "Exception", "plain"},
        {[] { throw EDatabaseError(QString::fromUtf8("povezava ni uspela – čšž")); }, "EDatabaseError",
         "povezava ni uspela – čšž"},
        {[] { throw EConvertError("'x' is not a valid integer value"); }, "EConvertError",
         "'x' is not a valid integer value"},
        {[] { throw std::runtime_error("foreign"); }, "Exception", "foreign"},
    };
    for (const Case &c : cases) {
        try {
            c.raise();
            FAIL() << "nothing thrown";
        } catch (const std::exception &e) {
            EXPECT_EQ(exceptionClassName(e), QString::fromUtf8(c.className));
            EXPECT_EQ(exceptionMessage(e), QString::fromUtf8(c.message));
        }
    }
}

TEST(ExceptionTest, CaughtThroughTheRootKeepsTheDerivedName)
{
    try {
        throw EFCreateError("Cannot create file");
    } catch (const Exception &e) {
        EXPECT_EQ(e.className(), "EFCreateError");
        EXPECT_STREQ(e.what(), "Cannot create file");
    }
}

TEST(ExceptionTest, StepFailureNamesMarkerClassAndMessage)
{
    EXPECT_EQ(StepFailureMessage("K4", EDatabaseError("no connection")),
              "Napaka K4: EDatabaseError>no connection");
    EXPECT_EQ(StepFailureMessage("13", std::runtime_error("boom")), "Napaka 13: Exception>boom");
}

TEST(ExceptionTest, FetchFailureNamesClassAndMessage)
{
    EXPECT_EQ(
        FetchFailureMessage(EFCreateError("Cannot create file \"/out/tempTime.txt\".")),
        QString::fromUtf8("Napaka: EFCreateError, sporočilo: Cannot create file \"/out/tempTime.txt\"."));
    EXPECT_EQ(FetchFailureMessage(std::runtime_error("boom")),
              QString::fromUtf8("Napaka: Exception, sporočilo: boom"));
}
