#include "app/StartUpTexts.h"

#include "common/Exception.h"

#include <QFileInfo>
#include <QStringList>

QString ProgramFileVersion()
{
    // The caption always shows four numbers, also for a project version given with fewer.
    QStringList numbers = QStringLiteral(VORN_VERSION).split(u'.');
    while (numbers.size() < 4)
        numbers << QStringLiteral("0");
    return numbers.join(u'.');
}

QString WindowCaption(const QString &programFilePath, const QString &fileVersion)
{
    // Only the last extension goes: "Vorn.Import.exe" gives "Vorn.Import".
    return QFileInfo(programFilePath).completeBaseName() + QStringLiteral(" v") + fileVersion;
}

QString WrongStartMessage(const QString &menuItemName)
{
    return QStringLiteral("Napačen zagon! VornImport.exe morate zagnati iz ZEP-ja (Meni:Obdelave\\") +
           menuItemName + QStringLiteral(")!");
}
