#include "app/MessageBoxes.h"

#include <QApplication>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QTextBlock>
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
    if (m_messageBoxes)
        m_messageBoxes->showMessage(text);
    if (m_unattended) {
        log(text);
        QTextStream(stderr) << text << Qt::endl;
    } else if (!m_messageBoxes && !ShowMessageBox(&m_window, QMessageBox::NoIcon, text)) {
        log(text);
    }
}

QStringList WindowMessenger::lines() const
{
    if (m_log.document()->isEmpty())
        return {};
    QStringList lines;
    for (QTextBlock block = m_log.document()->begin(); block.isValid(); block = block.next())
        lines << block.text();
    return lines;
}
