#include "host/Settings.h"

#include "common/Exception.h"
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
                                                                       "Proxy= http://proxy:3128 \r\n"
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
    EXPECT_EQ(settings.Proxy, "http://proxy:3128");
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

TEST(SettingsTest, ANamedFileThatDoesNotExistFails)
{
    TempDir dir;
    try {
        ReadNamedSettings(dir.filePath("none.ini"));
        FAIL() << "a missing settings file read as empty";
    } catch (const EFOpenError &error) {
        EXPECT_EQ(error.message(), "The settings file " + dir.filePath("none.ini") + " does not exist.");
    }
    EXPECT_EQ(
        ReadNamedSettings(dir.write("VornImport.ini", "[Nastavitve]\nIzhodniImenik=/srv\n")).OutputFolder,
        "/srv");
}

TEST(SettingsTest, FoldersMustBeSetAndExist)
{
    TempDir dir;
    const QString file = dir.filePath("VornImport.ini");
    const QString absent = dir.filePath("absent");
    const QString plain = dir.write("plain", "x");
    struct Case
    {
        QByteArray settings;
        QString input;  // the folder, or the message
        QString output; // the folder, or the message
    };
    const Case cases[] = {
        {"VhodniImenik=" + dir.path().toUtf8() + "\nIzhodniImenik=" + dir.path().toUtf8(), dir.path(),
         dir.path()},
        {"", "No input folder is set (VhodniImenik in section Nastavitve of " + file + ").",
         "No output folder is set (IzhodniImenik in section Nastavitve of " + file + ")."},
        {"VhodniImenik=" + absent.toUtf8() + "\nIzhodniImenik=" + plain.toUtf8(),
         "The input folder \"" + absent + "\" is not an existing folder.",
         "The output folder \"" + plain + "\" is not an existing folder."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.settings.toStdString());
        dir.write("VornImport.ini", "[Nastavitve]\n" + c.settings + "\n");
        const Settings settings = ReadSettings(file);
        try {
            EXPECT_EQ(RequiredInputFolder(settings), c.input);
        } catch (const EFOpenError &error) {
            EXPECT_EQ(error.message(), c.input);
        }
        try {
            EXPECT_EQ(RequiredOutputFolder(settings), c.output);
        } catch (const EFCreateError &error) {
            EXPECT_EQ(error.message(), c.output);
        }
    }
}

// The limits of a fetch: a positive number is taken, anything else keeps the default.
TEST(SettingsTest, FetchLimitsTakePositiveNumbersOnly)
{
    TempDir dir;
    const auto read = [&](const QByteArray &lines) {
        return ReadSettings(dir.write("VornImport.ini", "[Nastavitve]\n" + lines));
    };
    const Settings set = read("MaksCasPrenosa=60\nMinHitrostPrenosa=10\nOknoHitrostiPrenosa=5\n"
                              "MaksVelikostDatotekeMB=300\nMaksSteviloDatotek=7\nMaksVelikostNapakeKB=64\n");
    EXPECT_EQ(QList<int>({set.FetchTimeLimitSeconds, set.MinTransferRate, set.TransferRateWindowSeconds,
                          set.MaxEntrySizeMiB, set.MaxArchiveEntries, set.MaxErrorPageKiB}),
              QList<int>({60, 10, 5, 300, 7, 64}));
    const Settings kept = read("MaksCasPrenosa=0\nMinHitrostPrenosa=-5\nMaksSteviloDatotek=x\n");
    EXPECT_EQ(QList<int>({kept.FetchTimeLimitSeconds, kept.MinTransferRate, kept.MaxArchiveEntries}),
              QList<int>({1800, 1024, 100}));
}
