#include "app/MessageBoxes.h"

#include <QApplication>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QTextStream>

bool MessageBoxesCanBeAnswered()
{
    const QString platform = QGuiApplication::platformName();
    return platform != u"offscreen" && platform != u"minimal";
}

bool ShowMessageBox(QWidget *parent, QMessageBox::Icon icon, const QString &text)
{
    if (!MessageBoxesCanBeAnswered()) {
        QTextStream(stderr) << text << Qt::endl;
        return false;
    }
    QMessageBox box(icon, QApplication::applicationName(), text, QMessageBox::Ok, parent);
    box.exec();
    return true;
}

WindowMessenger::WindowMessenger(QPlainTextEdit &log, QCheckBox &debug, QWidget &window,
                                 Messenger *messageBoxes)
    : m_log(log), m_debug(debug), m_window(window), m_messageBoxes(messageBoxes)
{
}

void WindowMessenger::log(const QString &line)
{
    m_log.appendPlainText(line);
}

void WindowMessenger::debugLog(const QString &line)
{
    if (m_debug.isChecked())
        log(line);
}

void WindowMessenger::showMessage(const QString &text)
{
    if (m_unattended) {
        QTextStream(stderr) << text << Qt::endl;
        log(text);
        if (m_messageBoxes)
            m_messageBoxes->showMessage(text);
        return;
    }
    if (m_messageBoxes) {
        m_messageBoxes->showMessage(text);
        return;
    }
    if (!ShowMessageBox(&m_window, QMessageBox::NoIcon, text))
        log(text);
}
