#pragma once

#include "common/Messenger.h"

#include <QStringList>

// Records log lines and message boxes instead of showing them.
class RecordingMessenger : public Messenger
{
public:
    bool debugEnabled = false;
    QStringList lines;    // the log, in order, debug lines included while enabled
    QStringList messages; // the message boxes, in order

    void log(const QString &line) override { lines << line; }
    void debugLog(const QString &line) override
    {
        if (debugEnabled)
            lines << line;
    }
    void showMessage(const QString &text) override { messages << text; }
};
