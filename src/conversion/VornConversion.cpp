#include "VornConversion.h"

#include "common/Exception.h"
#include "conversion/OutputFiles.h"

#include <QSaveFile>

TVornConversion::TVornConversion(const QString &programFolder)
    : m_typeTable(TypeTable::load(joinPath(programFolder, QStringLiteral("tipi.ini"))))
{
}

TVornConversion::~TVornConversion() = default;

void TVornConversion::Execute(QString &result)
{
    Convert(result);
}

void TVornConversion::Release()
{
    if (OutputFileName.isEmpty())
        return;
    // Written aside and moved into place, so the host never loads a half-written file.
    QSaveFile file(OutputFileName);
    if (!file.open(QIODevice::WriteOnly))
        throw EFCreateError(
            QStringLiteral("Cannot create file \"%1\". %2").arg(OutputFileName, file.errorString()));
    for (const QByteArray &line : std::as_const(OutputLines)) {
        file.write(line);
        file.write("\r\n", 2);
    }
    if (!file.commit())
        throw EFCreateError(
            QStringLiteral("Cannot create file \"%1\". %2").arg(OutputFileName, file.errorString()));
}
