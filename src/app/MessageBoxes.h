#pragma once

#include "common/Messenger.h"

#include <QMessageBox>
#include <QStringList>

class QCheckBox;
class QPlainTextEdit;

// Whether a message box can be answered: not on Qt's offscreen platform, where nobody sees it.
bool MessageBoxesCanBeAnswered();

// Shows a modal message box and returns when it has been closed. Where nobody can answer it, the text
// goes to standard error instead and the call returns at once with false.
bool ShowMessageBox(QWidget *parent, QMessageBox::Icon icon, const QString &text);

// The window's messenger: the log page's memo, debug lines only while "Debug" is ticked, and message
// boxes over the window (on the offscreen platform their text goes to standard error and the log).
class WindowMessenger : public Messenger
{
public:
    // messageBoxes, when given, receives the boxes instead (tests record them there).
    WindowMessenger(QPlainTextEdit &log, QCheckBox &debug, QWidget &window, Messenger *messageBoxes);

    void log(const QString &line) override;
    void debugLog(const QString &line) override;
    void showMessage(const QString &text) override;

    // In the host's unattended run nobody answers a box: its text goes to the log (and so into the request
    // file) and to standard error, and nothing waits, with or without a display.
    void setUnattended(bool unattended) { m_unattended = unattended; }
    // The lines of the log, in order.
    QStringList lines() const;

private:
    QPlainTextEdit &m_log;
    QCheckBox &m_debug;
    QWidget &m_window;
    Messenger *m_messageBoxes;
    bool m_unattended = false;
};
