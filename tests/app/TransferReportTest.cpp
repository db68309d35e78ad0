#include "NginxTestServer.h"
#include "RandomBytes.h"
#include "WindowTestProgram.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>

namespace {
// Counts the paint events of a widget.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// The window's state at one data event of a transfer.
struct StateDuringTransfer
{
    bool typesEnabled;
    bool memberBoxEnabled;
    bool buttonEnabled;
    QString status;
};

class TransferReportTest : public testing::Test
{
protected:
    void SetUp() override
    {
        // Slow enough that the body arrives in several pieces between progress reports.
        server.addDocument("/MemberAccountPositions", report, "MemberAccountPositions.zip", 1024 * 1024);
        VORN_START_NGINX(server);
    }

    // The window started as the operator starts it; the settings name the server's authority or not.
    TestWindow &startWindow(bool trustTheServersAuthority)
    {
        program.writeSettings(trustTheServersAuthority
                                  ? "[Nastavitve]\nCAFile=" + server.caFile().toUtf8() + "\n"
                                  : QByteArray("[Nastavitve]\n"));
        window = program.window();
        window->StartUp();
        window->clientCertStorage().add(server.firstClient());
        window->httpsClient().onData = [this](const char *buffer, qsizetype size) {
            body.append(buffer, size);
            states.append({control<QComboBox>("cbTypeXML")->isEnabled(),
                           control<QComboBox>("cbRemoteClan")->isEnabled(),
                           control<QPushButton>("btnGet")->isEnabled(), status()});
            if (failAtData > 0 && states.size() == failAtData)
                throw EInOutError("disk full");
        };
        return *window;
    }

    template<typename Control> Control *control(const char *name)
    {
        return childControl<Control>(*window, name);
    }

    QString status() { return control<QLabel>("lTransfer")->text(); }

    void expectSelectionEnabled()
    {
        EXPECT_TRUE(control<QComboBox>("cbTypeXML")->isEnabled());
        EXPECT_TRUE(control<QComboBox>("cbRemoteClan")->isEnabled());
        EXPECT_TRUE(control<QPushButton>("btnGet")->isEnabled());
    }

    const QByteArray report = randomBytes(512 * 1024, 5);
    NginxTestServer server;
    WindowTestProgram program;
    std::unique_ptr<TestWindow> window;
    QByteArray body;
    QList<StateDuringTransfer> states;
    int failAtData = 0; // the data event that fails; 0: none
};
} // namespace

TEST_F(TransferReportTest, SelectionIsLockedAndTheStatusCountsTheBytes)
{
    TestWindow &w = startWindow(true);
    PaintCounter counter;
    control<QLabel>("lTransfer")->installEventFilter(&counter);

    w.TransferReport(server.url("/MemberAccountPositions"));

    EXPECT_EQ(body, report);
    ASSERT_GE(states.size(), 3);
    QList<qint64> shownCounts;
    for (const StateDuringTransfer &state : std::as_const(states)) {
        EXPECT_FALSE(state.typesEnabled);
        EXPECT_FALSE(state.memberBoxEnabled);
        EXPECT_FALSE(state.buttonEnabled);
        // Once the length is announced, the status names the total too.
        const QRegularExpressionMatch match =
            QRegularExpression("^Received (\\d+)(?: of 524288)? bytes(?:, [\\d.]+ KB/s)?$")
                .match(state.status);
        ASSERT_TRUE(match.hasMatch()) << state.status.toStdString();
        shownCounts << match.captured(1).toLongLong();
    }
    // The status follows the transfer while it runs.
    EXPECT_TRUE(std::is_sorted(shownCounts.begin(), shownCounts.end()));
    EXPECT_GT(shownCounts.last(), 0);
    EXPECT_TRUE(states.last().status.contains(" of 524288 bytes")) << states.last().status.toStdString();
    EXPECT_TRUE(status().startsWith("Received 524288 of 524288 bytes, ")) << status().toStdString();
    EXPECT_GT(counter.paints, 0); // the status line was painted while Get ran
    expectSelectionEnabled();
}

TEST_F(TransferReportTest, SelectionIsEnabledAgainAfterAFailingHandler)
{
    TestWindow &w = startWindow(true);
    failAtData = 2;
    EXPECT_THROW(w.TransferReport(server.url("/MemberAccountPositions")), EInOutError);
    ASSERT_EQ(states.size(), 2);
    EXPECT_FALSE(states[1].typesEnabled);
    EXPECT_EQ(status(), "Transfer failed");
    expectSelectionEnabled();

    // The next transfer starts afresh.
    failAtData = 0;
    body.clear();
    w.TransferReport(server.url("/MemberAccountPositions"));
    EXPECT_EQ(body, report);
    expectSelectionEnabled();
}

TEST_F(TransferReportTest, ServerOfAnAuthorityNotInTheSettingsFails)
{
    TestWindow &w = startWindow(false);
    EXPECT_THROW(w.TransferReport(server.url("/MemberAccountPositions")), ETransportError);
    EXPECT_TRUE(body.isEmpty());
    EXPECT_TRUE(states.isEmpty());
    EXPECT_EQ(status(), "Transfer failed");
    expectSelectionEnabled();
}
