#pragma once

#include <QString>
#include <QtGlobal>

// Qt's notes about its platform that tell the people who run the program nothing they can act on: the
// offscreen platform's remarks and a missing runtime folder (XDG_RUNTIME_DIR).
bool IsPlatformNote(QtMsgType type, const QString &message);

// Keeps those notes away from standard error; every other message of Qt goes there as before.
void QuietPlatformNotes();
