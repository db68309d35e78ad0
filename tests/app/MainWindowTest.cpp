#include "ScopedClock.h"
#include "WindowTestProgram.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest/QTest>

namespace {
QDate april(int day)
{
    return QDate(2024, 4, day);
}

class MainWindowTest : public testing::Test
{
protected:
    MainWindowTest() : clock(april(20)) {}

    // A window started without database arguments: the first eleven report types, no host.
    TestWindow &startWindow()
    {
        window = program.window();
        window->StartUp();
        return *window;
    }

    template<typename Control> Control *control(const char *name)
    {
        return childControl<Control>(*window, name);
    }

    bool shown(const char *name) { return control<QWidget>(name)->isVisibleTo(window.get()); }
    bool enabled(const char *name) { return control<QWidget>(name)->isEnabled(); }

    // Picks a report type as the operator does with the arrow keys; each step is an operator change.
    void pickType(const QString &entry)
    {
        auto *types = control<QComboBox>("cbTypeXML");
        const int target = types->findText(entry);
        ASSERT_GE(target, 0) << entry.toStdString();
        while (types->currentIndex() != target)
            QTest::keyClick(types, types->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
    }

    // Replaces the type list's text by typing, as the operator does.
    void typeType(const QString &text)
    {
        QLineEdit *edit = control<QComboBox>("cbTypeXML")->lineEdit();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    // A date picker changed by the operator (the widget reports it as any edit).
    void operatorSetsDate(const char *picker, const QDate &date)
    {
        control<QDateEdit>(picker)->setDate(date);
    }

    ScopedClock clock;
    WindowTestProgram program;
    std::unique_ptr<TestWindow> window;
};
} // namespace

TEST_F(MainWindowTest, EveryControlWithCaptionPositionAndInitialState)
{
    window = program.window();
    window->show();
    EXPECT_EQ(window->size(), QSize(354, 570));
    EXPECT_EQ(control<QWidget>("pnlTop")->height(), 133);

    struct Expected
    {
        const char *name;
        QString caption; // empty: the control has none
        QPoint position;
        bool visible;
        bool bold;
    };
    const Expected controls[] = {
        {"Label1", "Tip ", {8, 8}, true, true},
        {"cbTypeXML", "", {8, 24}, true, false},
        {"lRemoteClan", QString::fromUtf8("Remote član:"), {153, 6}, true, true},
        {"cbRemoteClan", "", {232, 2}, true, false},
        {"Label2", "Dan od", {8, 59}, true, true},
        {"dtpDateFrom", "", {56, 56}, true, false},
        {"Label3", "Dan do", {8, 83}, true, true},
        {"dtpDateTo", "", {56, 80}, true, false},
        {"cbDebug", "Debug", {241, 46}, true, false},
        {"btnGet", "Get XML, convert", {240, 78}, true, false},
        {"lISIN", "ISIN", {23, 107}, false, true},
        {"eISIN", "", {56, 104}, false, false},
        {"cbRcnAkt", "Samo aktivni", {8, 106}, false, true},
        {"cbJustConvert", "Only conversion XML->txt", {193, 108}, false, false},
    };
    for (const Expected &e : controls) {
        QWidget *widget = control<QWidget>(e.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), "pnlTop") << e.name;
        EXPECT_EQ(widget->pos(), e.position) << e.name;
        EXPECT_EQ(widget->isVisibleTo(window.get()), e.visible) << e.name;
        EXPECT_TRUE(widget->isEnabled()) << e.name;
        EXPECT_EQ(widget->font().bold(), e.bold) << e.name;
        QString caption;
        if (auto *label = qobject_cast<QLabel *>(widget))
            caption = label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(widget))
            caption = button->text();
        EXPECT_EQ(caption, e.caption) << e.name;
    }
    EXPECT_EQ(control<QComboBox>("cbTypeXML")->width(), 329);
    EXPECT_EQ(control<QPushButton>("btnGet")->size(), QSize(96, 25));
    EXPECT_TRUE(control<QComboBox>("cbTypeXML")->isEditable());
    EXPECT_TRUE(control<QComboBox>("cbRemoteClan")->isEditable());
    EXPECT_EQ(control<QComboBox>("cbRemoteClan")->itemText(0), " ");
    EXPECT_EQ(control<QComboBox>("cbRemoteClan")->currentText(), "");
    EXPECT_TRUE(control<QCheckBox>("cbRcnAkt")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("cbJustConvert")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("cbDebug")->isChecked());
    EXPECT_EQ(control<QLineEdit>("eISIN")->text(), "");
    EXPECT_EQ(control<QDateEdit>("dtpDateFrom")->date(), april(19));
    EXPECT_EQ(control<QDateEdit>("dtpDateTo")->date(), april(19));

    auto *pages = control<QTabWidget>("pgctrlMain");
    ASSERT_EQ(pages->count(), 2);
    EXPECT_EQ(pages->tabText(0), "&Log Messages");
    EXPECT_EQ(pages->widget(0)->objectName(), "tbshtMessages");
    EXPECT_EQ(pages->tabText(1), "Vorn Error");
    EXPECT_EQ(pages->widget(1)->objectName(), "TabSheet1");
    EXPECT_EQ(pages->currentIndex(), 0);
    EXPECT_EQ(control<QPlainTextEdit>("mmMessages")->parentWidget()->objectName(), "tbshtMessages");
    EXPECT_EQ(control<QTextBrowser>("wbVornError")->parentWidget()->objectName(), "TabSheet1");
    // The page control fills the window between the top panel and the transfer's status line.
    EXPECT_EQ(pages->geometry(), QRect(0, 133, 354, 570 - 133 - 21));
    EXPECT_EQ(control<QLabel>("lTransfer")->geometry(), QRect(0, 570 - 21, 354, 21));
    EXPECT_EQ(control<QLabel>("lTransfer")->text(), "");
}

TEST_F(MainWindowTest, PickingAccountsThenPositions)
{
    startWindow();
    operatorSetsDate("dtpDateFrom", april(1));
    pickType(QString::fromUtf8("Računi - MemberAccounts"));
    EXPECT_EQ(window->dateFrom(), april(19));
    EXPECT_EQ(window->dateTo(), april(19));
    EXPECT_FALSE(enabled("dtpDateFrom"));
    EXPECT_FALSE(enabled("dtpDateTo"));
    EXPECT_TRUE(shown("cbRcnAkt"));
    EXPECT_TRUE(window->onlyActiveAccounts());

    pickType("Stanja - MemberAccountPositions");
    EXPECT_FALSE(shown("cbRcnAkt"));
    EXPECT_FALSE(window->onlyActiveAccounts()); // still ticked, but hidden
    EXPECT_FALSE(enabled("dtpDateFrom"));
}

TEST_F(MainWindowTest, SharebookShowsIsinWithoutChangingDates)
{
    startWindow();
    pickType(QString::fromUtf8("Javna delniška knjiga TOP 50 - PublicSharebookTop50All"));
    EXPECT_FALSE(shown("eISIN"));
    EXPECT_FALSE(shown("lISIN"));
    EXPECT_TRUE(enabled("dtpDateFrom"));
    EXPECT_TRUE(enabled("dtpDateTo"));

    // The entry before it in the list has no rule: the dates set here reach the sharebook's rule.
    pickType(QString::fromUtf8("Trenutni trgovalni računi BTS - MemberCurrentAccounts4BTS"));
    operatorSetsDate("dtpDateFrom", april(2));
    operatorSetsDate("dtpDateTo", april(5));
    pickType(QString::fromUtf8("Javna delniška knjiga - SharebookTXT"));
    EXPECT_TRUE(shown("eISIN"));
    EXPECT_TRUE(shown("lISIN"));
    EXPECT_FALSE(shown("cbRcnAkt"));
    EXPECT_FALSE(enabled("dtpDateFrom"));
    EXPECT_FALSE(enabled("dtpDateTo"));
    EXPECT_EQ(window->dateFrom(), april(2));
    EXPECT_EQ(window->dateTo(), april(5));
    QTest::keyClicks(control<QLineEdit>("eISIN"), "SI0031102120");
    EXPECT_EQ(window->isin(), "SI0031102120");
}

TEST_F(MainWindowTest, TypedTextWithoutDashResetsTheOptionalFields)
{
    startWindow();
    pickType(QString::fromUtf8("Računi - MemberAccounts"));
    // A label typed without "-" is no label: the positions rule (pickers disabled) must not run.
    typeType("Stanja");
    EXPECT_EQ(window->reportTypeText(), "Stanja");
    EXPECT_TRUE(enabled("dtpDateFrom"));
    EXPECT_TRUE(enabled("dtpDateTo"));
    EXPECT_FALSE(shown("cbRcnAkt"));
    EXPECT_FALSE(shown("eISIN"));
    EXPECT_EQ(window->dateFrom(), april(19));
}

TEST_F(MainWindowTest, TextSetByTheProgramRunsNoRules)
{
    startWindow();
    window->setReportTypeText(QString::fromUtf8("Računi - MemberAccounts"));
    EXPECT_EQ(window->reportTypeText(), QString::fromUtf8("Računi - MemberAccounts"));
    EXPECT_FALSE(shown("cbRcnAkt"));
    EXPECT_TRUE(enabled("dtpDateFrom"));

    window->setPeriod(april(1), april(20)); // no correction of dates set by the program
    window->setReportTypeText("Transakcije - MemberTransactions");
    window->setPeriod(QDate(2024, 1, 1), april(20));
    EXPECT_EQ(window->dateFrom(), QDate(2024, 1, 1));
    EXPECT_EQ(window->dateTo(), april(20));
}

TEST_F(MainWindowTest, TransactionsPeriodOnTwentiethOfApril)
{
    startWindow();
    pickType("Transakcije - MemberTransactions");
    EXPECT_EQ(window->dateFrom(), QDate(2024, 3, 21));
    EXPECT_EQ(window->dateTo(), april(19));
    EXPECT_TRUE(enabled("dtpDateFrom"));
    EXPECT_TRUE(enabled("dtpDateTo"));

    operatorSetsDate("dtpDateFrom", QDate(2024, 3, 1)); // 19 April is 49 days after it
    EXPECT_EQ(window->dateTo(), QDate(2024, 3, 31));
    operatorSetsDate("dtpDateTo", april(15));
    EXPECT_EQ(window->dateFrom(), QDate(2024, 3, 1));
    EXPECT_EQ(window->dateTo(), QDate(2024, 3, 31));

    operatorSetsDate("dtpDateFrom", april(10));
    EXPECT_EQ(window->dateTo(), QDate(2024, 3, 31)); // before the start: left as it is
    operatorSetsDate("dtpDateTo", april(20));
    EXPECT_EQ(window->dateTo(), april(19));
    EXPECT_EQ(window->dateFrom(), april(10));
}

TEST_F(MainWindowTest, ArrowKeyOnTheEndDateIsCorrected)
{
    startWindow();
    pickType("Transakcije - MemberTransactions");
    auto *end = control<QDateEdit>("dtpDateTo");
    end->setFocus();
    end->setCurrentSection(QDateTimeEdit::DaySection);
    QTest::keyClick(end, Qt::Key_Up); // 19 April to 20 April, after yesterday
    EXPECT_EQ(window->dateTo(), april(19));
    QTest::keyClick(end, Qt::Key_Down);
    EXPECT_EQ(window->dateTo(), april(18));
}

TEST_F(MainWindowTest, AllocationsPeriodStartingTwelveDaysAgo)
{
    startWindow();
    pickType("Razporeditve - MemberAllocations");
    EXPECT_EQ(window->dateFrom(), april(11));
    EXPECT_EQ(window->dateTo(), april(20));

    operatorSetsDate("dtpDateFrom", april(8));
    EXPECT_EQ(window->dateFrom(), april(8));
    EXPECT_EQ(window->dateTo(), april(17));
}

TEST_F(MainWindowTest, PositionsPeriodIsNotCorrected)
{
    startWindow();
    pickType("Stanja - MemberAccountPositions");
    operatorSetsDate("dtpDateFrom", QDate(2024, 1, 1));
    operatorSetsDate("dtpDateTo", QDate(2024, 12, 31));
    EXPECT_EQ(window->dateFrom(), QDate(2024, 1, 1));
    EXPECT_EQ(window->dateTo(), QDate(2024, 12, 31));
}

TEST_F(MainWindowTest, DailyBondValuesLeavesTheStartPickerEnabled)
{
    startWindow();
    pickType(QString::fromUtf8("Dnevne Teoretične vrednosti - DailyBondValues"));
    EXPECT_EQ(window->dateFrom(), april(20));
    EXPECT_EQ(window->dateTo(), april(20));
    EXPECT_TRUE(enabled("dtpDateFrom"));
    EXPECT_FALSE(enabled("dtpDateTo"));
}

TEST_F(MainWindowTest, ErrorPageShowsHtmlButLoadsNothing)
{
    TempDir files;
    const QString image = files.filePath("logo.png");
    ASSERT_TRUE(QImage(4, 4, QImage::Format_RGB32).save(image)); // loadable, if anything loaded it
    startWindow();
    auto *view = control<QTextBrowser>("wbVornError");
    window->showVornError("<html><body><h1>Napaka 500</h1><script>document.write('x')</script>"
                          "<img src=\"file://" +
                          image + "\"><a href=\"https://example.com/\">more</a></body></html>");

    EXPECT_EQ(control<QTabWidget>("pgctrlMain")->currentWidget()->objectName(), "TabSheet1");
    EXPECT_TRUE(view->toPlainText().contains("Napaka 500"));
    EXPECT_FALSE(view->openLinks());
    EXPECT_FALSE(view->openExternalLinks());
    EXPECT_FALSE(
        view->document()->resource(QTextDocument::ImageResource, QUrl::fromLocalFile(image)).isValid());
    EXPECT_FALSE(view->loadResource(QTextDocument::ImageResource, QUrl::fromLocalFile(image)).isValid());
    EXPECT_FALSE(
        view->loadResource(QTextDocument::StyleSheetResource, QUrl("https://example.com/a.css")).isValid());
}

TEST_F(MainWindowTest, MessageBoxesOnTheOffscreenPlatformGoToTheLog)
{
    // Without a recorder the window's own boxes are used; offscreen they must not wait for anyone.
    TestWindow own(ProgramStart{program.programFilePath, {}});
    own.messenger().showMessage("Nobody can close this box");
    EXPECT_TRUE(
        own.findChild<QPlainTextEdit *>("mmMessages")->toPlainText().contains("Nobody can close this box"));
}
