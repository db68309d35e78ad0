#pragma once

#include <QString>

// Where the system's log lines and message boxes go: the main window, the headless
// converter's standard output, or a recorder in tests.
class Messenger
{
public:
    virtual ~Messenger() = default;

    // Appends one whole line to the log.
    virtual void log(const QString &line) = 0;
    // Appends one whole line to the log only while debugging is switched on.
    virtual void debugLog(const QString &line) = 0;
    // Shows a message box and returns when it has been closed (or could not be shown).
    virtual void showMessage(const QString &text) = 0;
};
