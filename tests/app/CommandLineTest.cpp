#include "app/CommandLine.h"

#include "TempDir.h"

#include <gtest/gtest.h>

TEST(CommandLineTest, FourthArgumentIsARequestFileOnlyWhenTheFileExists)
{
    TempDir dir;
    const QString request = dir.write("request.ini", "[Request]\n");
    struct Case
    {
        QStringList arguments;
        bool hasDatabase;
        QString requestFile;
        QString fileSuffix;
    };
    const Case cases[] = {
        {{"ZEP", "user", "pwd", request}, true, request, ""},
        {{"ZEP", "user", "pwd", dir.filePath("absent.ini")}, true, "", dir.filePath("absent.ini")},
        {{"ZEP", "user", "pwd", dir.path()}, true, "", dir.path()}, // a folder is no request file
        {{"ZEP", "user", "pwd"}, true, "", ""},
        {{"ZEP", "user", "pwd", request, "extra"}, true, request, ""},
        {{"ZEP", "user"}, false, "", ""},
        {{}, false, "", ""},
    };
    for (const Case &c : cases) {
        const CommandLine commandLine = ReadCommandLine(c.arguments);
        const std::string where = c.arguments.join(' ').toStdString();
        EXPECT_EQ(commandLine.HasDatabaseArguments, c.hasDatabase) << where;
        EXPECT_EQ(commandLine.RequestFile, c.requestFile) << where;
        EXPECT_EQ(commandLine.Unattended, !c.requestFile.isEmpty()) << where;
        EXPECT_EQ(commandLine.FileSuffix, c.fileSuffix) << where;
        if (c.hasDatabase) {
            EXPECT_EQ(commandLine.Database.Alias, "ZEP");
            EXPECT_EQ(commandLine.Database.User, "user");
            EXPECT_EQ(commandLine.Database.Password, "pwd");
        }
    }
}
