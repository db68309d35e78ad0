#include "common/PlatformNotes.h"

#include <QStringList>

namespace {
QtMessageHandler previousHandler = nullptr;

void filteredHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (IsPlatformNote(type, message))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
}
} // namespace

bool IsPlatformNote(QtMsgType type, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        return false;
    static const QStringList notes{
        QStringLiteral("XDG_RUNTIME_DIR"),
        QStringLiteral("runtime directory"),
        QStringLiteral("This plugin does not support"),
        QStringLiteral("offscreen"),
    };
    for (const QString &note : notes)
        if (message.contains(note, Qt::CaseInsensitive))
            return true;
    return false;
}

void QuietPlatformNotes()
{
    previousHandler = qInstallMessageHandler(&filteredHandler);
}
