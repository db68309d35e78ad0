#include "host/Settings.h"

#include "TempDir.h"

#include <gtest/gtest.h>

TEST(SettingsTest, FilePathReplacesOrAppendsTheExtension)
{
    const std::pair<const char *, const char *> cases[] = {
        {"/opt/vorn/VornImport", "/opt/vorn/VornImport.ini"},
        {"C:/Vorn/VornImport.exe", "C:/Vorn/VornImport.ini"},
        {"/opt/vorn.d/VornImport", "/opt/vorn.d/VornImport.ini"}, // a dot in the folder is no extension
        {"/opt/Vorn.Import.exe", "/opt/Vorn.Import.ini"},
        {"Other.exe", "Other.ini"},
    };
    for (const auto &[executable, expected] : cases)
        EXPECT_EQ(SettingsFilePath(executable), expected) << executable;
}

TEST(SettingsTest, ReadsEveryKey)
{
    TempDir dir;
    const Settings settings = ReadSettings(dir.write("VornImport.ini", "[Nastavitve]\r\n"
                                                                       "VhodniImenik=C:\\Vorn\\In\\\r\n"
                                                                       "IzhodniImenik=/srv/out\r\n"
                                                                       "Pretvorba=1\r\n"
                                                                       "DailyBondValues=0x1\r\n"
                                                                       "SharebookTXT=-1\r\n"
                                                                       "PapirPoKotacijiSLO=2\r\n"
                                                                       "PrikazDBNapak=D\r\n"
                                                                       "Debug=D\r\n"
                                                                       "CAFile=/etc/ssl/kdd.pem\r\n"
                                                                       "[Podatki]\r\n"
                                                                       "Naziv=Obdelave\\Vorn\r\n"));
    EXPECT_EQ(settings.InputFolder, "C:\\Vorn\\In\\");
    EXPECT_EQ(settings.OutputFolder, "/srv/out");
    EXPECT_EQ(settings.MenuItemName, "Obdelave\\Vorn");
    EXPECT_TRUE(settings.ConvertOnly);
    EXPECT_TRUE(settings.OfferDailyBondValues);
    EXPECT_TRUE(settings.OfferSharebookTXT);
    EXPECT_TRUE(settings.PapirPoKotacijiSLO);
    EXPECT_TRUE(settings.ShowDatabaseErrors);
    EXPECT_TRUE(settings.Debug);
    EXPECT_EQ(settings.CAFile, "/etc/ssl/kdd.pem");
}

TEST(SettingsTest, MissingFileGivesEveryDefault)
{
    TempDir dir;
    const Settings settings = ReadSettings(dir.filePath("none.ini"));
    EXPECT_TRUE(settings.InputFolder.isEmpty());
    EXPECT_TRUE(settings.MenuItemName.isEmpty());
    EXPECT_FALSE(settings.ConvertOnly || settings.OfferDailyBondValues || settings.OfferSharebookTXT ||
                 settings.PapirPoKotacijiSLO || settings.ShowDatabaseErrors || settings.Debug);
}

TEST(SettingsTest, BooleanKeysNeedANonZeroInteger)
{
    const std::pair<const char *, bool> cases[] = {
        {"1", true}, {"yes", false}, {"0", false}, {"", false}, {"true", false}, {" 3 ", true},
    };
    TempDir dir;
    for (const auto &[value, expected] : cases) {
        const QString path = dir.write("s.ini", QByteArray("[nastavitve]\npretvorba=") + value + "\n");
        EXPECT_EQ(ReadSettings(path).ConvertOnly, expected) << "'" << value << "'";
    }
}

TEST(SettingsTest, YesNoKeysNeedExactlyCapitalD)
{
    const std::pair<const char *, bool> cases[] = {
        {"D", true},   {"d", false}, {"N", false},
        {"DA", false}, {"1", false}, {" D ", true}, // values are trimmed
    };
    TempDir dir;
    for (const auto &[value, expected] : cases) {
        const QString path = dir.write("s.ini", QByteArray("[Nastavitve]\nDebug=") + value +
                                                    "\nPrikazDBNapak=" + value + "\n");
        const Settings settings = ReadSettings(path);
        EXPECT_EQ(settings.Debug, expected) << "'" << value << "'";
        EXPECT_EQ(settings.ShowDatabaseErrors, expected) << "'" << value << "'";
    }
}
