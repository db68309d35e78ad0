#include "app/StartUpTexts.h"

#include <gtest/gtest.h>
#include <QRegularExpression>

TEST(StartUpTextsTest, CaptionIsTheProgramNameWithTheFileVersion)
{
    EXPECT_EQ(WindowCaption("/opt/vorn/VornImport", "1.2.3.4"), "VornImport v1.2.3.4");
    EXPECT_EQ(WindowCaption("/opt/vorn/Other.exe", "1.2.3.4"), "Other v1.2.3.4");
    EXPECT_EQ(WindowCaption("/opt/vorn.d/Vorn.Import.exe", "2.0.0.7"), "Vorn.Import v2.0.0.7");
    EXPECT_EQ(WindowCaption("VornImport", "1.0.0.0"), "VornImport v1.0.0.0");
}

TEST(StartUpTextsTest, FileVersionHasFourNumbers)
{
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d+\\.\\d+\\.\\d+$").match(ProgramFileVersion()).hasMatch())
        << ProgramFileVersion().toStdString();
}

TEST(StartUpTextsTest, WrongStartNamesTheMenuItem)
{
    EXPECT_EQ(WrongStartMessage("Uvoz KDD"),
              QString::fromUtf8(
                  "Napačen zagon! VornImport.exe morate zagnati iz ZEP-ja (Meni:Obdelave\\Uvoz KDD)!"));
    EXPECT_EQ(WrongStartMessage(""),
              QString::fromUtf8("Napačen zagon! VornImport.exe morate zagnati iz ZEP-ja (Meni:Obdelave\\)!"));
}
