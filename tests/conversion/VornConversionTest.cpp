#include "conversion/VornConversion.h"

#include "common/Exception.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace {

// A converter that collects the given records.
class CollectingConversion : public TVornConversion
{
public:
    CollectingConversion(const QString &programFolder, const QString &outputFile, QList<QByteArray> records)
        : TVornConversion(programFolder), m_outputFile(outputFile), m_records(std::move(records))
    {
    }

    // Converts without a host database.
    void convert(QString &result) { Convert(result); }

protected:
    void Convert(QString &result) override
    {
        OutputFileName = m_outputFile;
        for (const QByteArray &record : std::as_const(m_records))
            OutputLines.append(record);
        result = "done";
    }

private:
    QString m_outputFile;
    QList<QByteArray> m_records;
};

class VornConversionTest : public testing::Test
{
protected:
    TempDir program;
    TempDir output;

    void SetUp() override { program.write("tipi.ini", "PR,12,1,2,D\r\n"); }

    QByteArray convertAndRelease(const QList<QByteArray> &records)
    {
        CollectingConversion conversion(program.path(), output.filePath("stanje.txt"), records);
        QString result;
        conversion.convert(result);
        conversion.Release();
        return output.read("stanje.txt");
    }
};

TEST_F(VornConversionTest, LoadsTheTypeTableBesideTheProgram)
{
    CollectingConversion conversion(program.path(), QString(), {});
    EXPECT_TRUE(conversion.typeTable().FindType("pr", 1).found);
}

TEST_F(VornConversionTest, WithoutTypeTableNoConverterExists)
{
    TempDir empty;
    EXPECT_THROW(CollectingConversion(empty.path(), QString(), {}), EFOpenError);
}

TEST_F(VornConversionTest, ReleaseEndsEveryLineWithCrLf)
{
    EXPECT_EQ(convertAndRelease({"first", "\x8A\x9E", ""}), "first\r\n\x8A\x9E\r\n\r\n");
}

TEST_F(VornConversionTest, ManyAndLongRecordsAreWrittenWholeAndInOrder)
{
    // Records are kept in blocks of about a megabyte: enough of them to fill several blocks,
    // one longer than a block, and one that would just overrun the block it comes to.
    QList<QByteArray> records;
    QByteArray expected;
    for (int i = 0; i < 30000; ++i) {
        QByteArray record = QByteArray::number(i).rightJustified(104, '.');
        if (i == 12345)
            record = QByteArray(3 << 20, 'L');
        if (i == 20000)
            record = QByteArray((1 << 20) - 1, 'J');
        expected += record + "\r\n";
        records << record;
    }
    EXPECT_TRUE(convertAndRelease(records) == expected);
}

TEST_F(VornConversionTest, AnEmptyListGivesAnEmptyFileReplacingTheOldOne)
{
    output.write("stanje.txt", "old contents\r\n");
    EXPECT_EQ(convertAndRelease({}), "");
    EXPECT_TRUE(output.exists("stanje.txt"));
}

TEST_F(VornConversionTest, NothingIsWrittenWithoutAnOutputFileName)
{
    CollectingConversion conversion(program.path(), QString(), {"line"});
    conversion.Release();
    EXPECT_TRUE(output.files().isEmpty());
}

TEST_F(VornConversionTest, AnUnwritableFileFailsWithCannotCreateFile)
{
    const QString path = output.filePath("missing-folder/stanje.txt");
    CollectingConversion conversion(program.path(), path, {"line"});
    QString result;
    conversion.convert(result);
    try {
        conversion.Release();
        FAIL() << "no error";
    } catch (const EFCreateError &error) {
        EXPECT_TRUE(error.message().startsWith("Cannot create file \"" + path + "\". "))
            << error.message().toStdString();
    }
}

} // namespace
