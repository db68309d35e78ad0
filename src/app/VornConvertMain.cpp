#include "app/ConvertCommand.h"
#include "common/PlatformNotes.h"

#include <cstdio>
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    QuietPlatformNotes();
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return RunVornConvert(app.arguments().mid(1), QCoreApplication::applicationDirPath(), out, err);
}
