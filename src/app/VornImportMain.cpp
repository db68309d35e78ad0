// VornImport ALIAS USER PASSWORD [REQUEST_FILE | FILE_SUFFIX]
// VornImport --check ALIAS USER PASSWORD [MEMBER], --history [N], --help, --version: on the console, without
// a display.
// With four arguments of which the fourth names an existing file, the request file is run unattended and
// the program ends without a message loop; otherwise the window stays open until the operator closes it.
//
// Without DISPLAY and WAYLAND_DISPLAY (and no QT_QPA_PLATFORM of the caller's choosing) the program runs
// on Qt's offscreen platform: message boxes then write their text to standard error and do not wait, and
// after start-up the program ends with 2 and a pointer to VornConvert instead of opening its window.
// VORNIMPORT_SCREENSHOT=<file.png>: after start-up, save a picture of the window there and end with 0
// instead of waiting for the operator (1 when the picture cannot be saved).
#include "app/ConsoleCommands.h"
#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "batch/RequestFileRun.h"
#include "common/Exception.h"
#include "common/PlatformNotes.h"

#include <memory>
#include <QApplication>
#include <QFileInfo>
#include <QPixmap>
#include <QTextStream>
#include <QTimer>

namespace {
// True when there is no display and no platform of the caller's choosing: offscreen is then chosen.
bool SelectOffscreenPlatformWithoutDisplay()
{
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
        !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return false;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
}

// The window would wait offscreen for an operator who can neither see nor close it.
int NoDisplayForTheWindow(const QStringList &arguments)
{
    // A mistyped request path reads as a file suffix; the host's administrator has to see that.
    if (arguments.size() >= 4 && !arguments[3].isEmpty())
        QTextStream(stderr) << "The fourth argument " << arguments[3]
                            << " names no existing file, so it was taken as a file suffix and no request "
                               "file was run."
                            << Qt::endl;
    QTextStream(stderr) << "The window of VornImport needs a display: neither DISPLAY nor WAYLAND_DISPLAY is "
                           "set. Convert stored reports with VornConvert, or run VornImport ALIAS USER "
                           "PASSWORD REQUEST_FILE with a request file."
                        << Qt::endl;
    return 2;
}

// The error box of an exception that escaped start-up; in the host's unattended run nobody could close it,
// so its text only goes to standard error.
int StartUpFailed(const std::exception &error, bool unattended = false)
{
    if (unattended)
        QTextStream(stderr) << exceptionMessage(error) << Qt::endl;
    else
        ShowMessageBox(nullptr, QMessageBox::Critical, exceptionMessage(error));
    return 1;
}

bool SaveScreenshot(QWidget &window, const QString &path)
{
    if (window.grab().save(path, "PNG"))
        return true;
    QTextStream(stderr) << "Cannot save the screenshot " << path << Qt::endl;
    return false;
}
} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && IsConsoleCommand(QString::fromLocal8Bit(argv[1]))) {
        QCoreApplication application(argc, argv);
        QTextStream out(stdout);
        QTextStream err(stderr);
        return RunConsoleCommand(application.arguments().mid(1), QCoreApplication::applicationFilePath(), out,
                                 err);
    }
    const bool offscreen = SelectOffscreenPlatformWithoutDisplay();
    // Qt's notes about the offscreen platform and the runtime folder are no message of the run.
    QuietPlatformNotes();
    QApplication application(argc, argv);
    const ProgramStart start{QCoreApplication::applicationFilePath(), application.arguments().mid(1)};

    if (start.arguments.size() >= 4) {
        if (const QString problem = RequestPathProblem(start.arguments[3]); !problem.isEmpty()) {
            QTextStream(stderr) << problem << Qt::endl;
            return 1;
        }
    }
    if (start.arguments.size() == 4 && QFileInfo(start.arguments[3]).isFile()) {
        auto window = std::make_unique<TfrmMain>(start);
        try {
            window->StartUp();
        } catch (const std::exception &error) {
            window.reset();
            return StartUpFailed(error, true);
        }
        return 0;
    }

    TfrmMain window(start);
    try {
        window.StartUp();
    } catch (const std::exception &error) {
        return StartUpFailed(error);
    }
    const QString screenshot = qEnvironmentVariable("VORNIMPORT_SCREENSHOT");
    if (offscreen && screenshot.isEmpty())
        return NoDisplayForTheWindow(start.arguments);
    if (!screenshot.isEmpty()) {
        // Taken from inside the message loop, once the window has been laid out and painted.
        QTimer::singleShot(0, &window, [&window, &screenshot] {
            QCoreApplication::exit(SaveScreenshot(window, screenshot) ? 0 : 1);
        });
    }
    return QApplication::exec();
}
