#include "app/ConvertCommand.h"
#include "HostTestDatabase.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <QDir>
#include <QFile>
#include <QTextStream>

// The sample reports of samples/ converted as scripts/demo converts them: with its type table,
// its host database rows and its settings, one report type per run. Keeps the samples, the host
// rows and the converters in step, so that the demo shows every record with its host code.
namespace {

const QString kSamples = QStringLiteral(VORN_SAMPLES_DIR);
// The one security of the samples that the demo host database lacks.
const QByteArray kUnknownIsin = "SI0002104386";

struct SecurityField
{
    int code; // offset of the host's security code, 12 characters
    int isin; // offset of the ISIN, 12 characters
};

struct DemoRun
{
    const char *type;
    int exitCode;
    QStringList files;
    int recordLength;
    int records; // over all files
    std::optional<SecurityField> security;
};

// Names the run in failure messages instead of its bytes.
void PrintTo(const DemoRun &run, std::ostream *stream)
{
    *stream << run.type;
}

const DemoRun kRuns[] = {
    {"Stanja - MemberAccountPositions", 1, {"stanje.txt"}, 105, 5, SecurityField{15, 27}},
    {"Računi - MemberAccounts", 0, {"racuni.txt"}, 479, 5, std::nullopt},
    {"Transakcije - MemberTransactions",
     0,
     {"transa20250212_DEMO.txt", "transa20250213_DEMO.txt"},
     694,
     4,
     SecurityField{103, 115}},
    {"Dnevne Transakcije - MemberTransactionsCurrentDay",
     0,
     {"transa_DEMO.txt"},
     694,
     2,
     SecurityField{103, 115}},
    {"Razporeditve - MemberAllocations",
     0,
     {"razpor20250212_DEMO.txt", "razpor20250213_DEMO.txt"},
     152,
     3,
     SecurityField{15, 27}},
    {"Dnevne Razporeditve - MemberAllocationsCurrentDay",
     0,
     {"razpor_DEMO.txt"},
     152,
     2,
     SecurityField{15, 27}},
};

class DemoSamplesTest : public testing::TestWithParam<DemoRun>
{
protected:
    TempDir program;
    TempDir output;
    HostTestDatabase host{HostEngine::SQLite, QStringLiteral("DEMO")};
    QString log;

    void SetUp() override
    {
        ASSERT_TRUE(QFile::copy(kSamples + "/tipi.ini", program.filePath("tipi.ini")));
        // The settings of scripts/demo that decide the conversion: the listing form of the lookup.
        program.write("VornImport.ini", ("[Nastavitve]\r\nVhodniImenik=" + kSamples + "\r\nIzhodniImenik=" +
                                         output.path() + "\r\nPretvorba=1\r\nPapirPoKotacijiSLO=1\r\n")
                                            .toUtf8());
        host.createHostTables();
        host.execScript(kSamples + "/demo-host.sql");
    }

    int convert(const QString &type)
    {
        QTextStream out(&log);
        QString errors;
        QTextStream err(&errors);
        const int exitCode =
            RunVornConvert({"DEMO", "demo", "demo", "--type", type}, program.path(), out, err);
        // Only the run's summary line goes to standard error.
        EXPECT_EQ(errors.count('\n'), 1) << errors.toStdString();
        EXPECT_TRUE(errors.startsWith("Summary of " + type + ": ")) << errors.toStdString();
        return exitCode;
    }

    // The records of an output file, each checked for its CR LF and then without it.
    QList<QByteArray> records(const QString &name) const
    {
        QList<QByteArray> lines = output.read(name).split('\n');
        EXPECT_TRUE(lines.takeLast().isEmpty()) << name.toStdString() << " does not end with a line end";
        for (QByteArray &line : lines) {
            EXPECT_TRUE(line.endsWith('\r')) << name.toStdString();
            line.chop(1);
        }
        return lines;
    }
};

TEST_P(DemoSamplesTest, ConvertsWithTheHostCodeOfEveryKnownSecurity)
{
    const DemoRun &run = GetParam();
    EXPECT_EQ(convert(QString::fromUtf8(run.type)), run.exitCode) << log.toStdString();
    ASSERT_EQ(output.files(), run.files) << log.toStdString();

    int count = 0;
    for (const QString &file : run.files) {
        for (const QByteArray &record : records(file)) {
            ++count;
            EXPECT_EQ(record.size(), run.recordLength) << file.toStdString() << ": " << record.constData();
            if (!run.security)
                continue;
            const QByteArray isin = record.mid(run.security->isin, 12);
            const QByteArray code = record.mid(run.security->code, 12).trimmed();
            EXPECT_EQ(code.isEmpty(), isin == kUnknownIsin)
                << file.toStdString() << ": " << record.constData();
        }
    }
    EXPECT_EQ(count, run.records);

    const bool missingReported = log.contains("Manjka VP za ISIN:" + kUnknownIsin);
    EXPECT_EQ(missingReported, run.exitCode == 1) << log.toStdString();
    EXPECT_EQ(log.count("Manjka VP za ISIN:"), missingReported ? 1 : 0) << log.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Samples, DemoSamplesTest, testing::ValuesIn(kRuns),
                         [](const testing::TestParamInfo<DemoRun> &info) {
                             const QString type = QString::fromUtf8(info.param.type);
                             QString name = type.mid(type.indexOf('-') + 1).trimmed();
                             return name.toStdString();
                         });

} // namespace
