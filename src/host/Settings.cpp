#include "host/Settings.h"

#include "common/Exception.h"
#include "common/IniFile.h"

#include <QFileInfo>

QString SettingsFilePath(const QString &executablePath)
{
    const QFileInfo info(executablePath);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString base = dot > 0 ? name.left(dot) : name;
    return executablePath.left(executablePath.size() - name.size()) + base + QStringLiteral(".ini");
}

Settings ReadSettings(const QString &path)
{
    const IniFile file(path);
    const QString options = QStringLiteral("Nastavitve");
    auto flag = [&](const char *key) { return file.readInteger(options, QLatin1String(key), 0) != 0; };
    // "D" and "N" are compared exactly: "d" is not "D".
    auto yes = [&](const char *key) {
        return file.readString(options, QLatin1String(key), QStringLiteral("N")) == u"D";
    };

    Settings settings;
    settings.InputFolder = file.readString(options, QStringLiteral("VhodniImenik"), QString());
    settings.OutputFolder = file.readString(options, QStringLiteral("IzhodniImenik"), QString());
    settings.MenuItemName = file.readString(QStringLiteral("Podatki"), QStringLiteral("Naziv"), QString());
    settings.ConvertOnly = flag("Pretvorba");
    settings.OfferDailyBondValues = flag("DailyBondValues");
    settings.OfferSharebookTXT = flag("SharebookTXT");
    settings.PapirPoKotacijiSLO = flag("PapirPoKotacijiSLO");
    settings.ShowDatabaseErrors = yes("PrikazDBNapak");
    settings.Debug = yes("Debug");
    settings.CAFile = file.readString(options, QStringLiteral("CAFile"), QString());
    settings.FilePath = path;
    settings.Proxy = file.readString(options, QStringLiteral("Proxy"), QString()).trimmed();
    auto limit = [&](const char *key, int &value) {
        const int read = file.readInteger(options, QLatin1String(key), value);
        if (read > 0)
            value = read;
    };
    limit("MaksCasPrenosa", settings.FetchTimeLimitSeconds);
    limit("MinHitrostPrenosa", settings.MinTransferRate);
    limit("OknoHitrostiPrenosa", settings.TransferRateWindowSeconds);
    limit("MaksVelikostDatotekeMB", settings.MaxEntrySizeMiB);
    limit("MaksSteviloDatotek", settings.MaxArchiveEntries);
    limit("MaksVelikostNapakeKB", settings.MaxErrorPageKiB);
    settings.JournalPath = file.readString(options, QStringLiteral("Dnevnik"), QString());
    settings.JournalMaxBytes = file.readInteger(options, QStringLiteral("DnevnikVelikost"), 0);
    settings.PKCS11Module = file.readString(options, QStringLiteral("PKCS11Module"), QString());
    settings.PKCS11PinFile = file.readString(options, QStringLiteral("PKCS11PinFile"), QString());
    return settings;
}

Settings ReadNamedSettings(const QString &path)
{
    if (!QFileInfo::exists(path))
        throw EFOpenError(QStringLiteral("The settings file %1 does not exist.").arg(path));
    return ReadSettings(path);
}

namespace {

template<class Error>
QString requiredFolder(const QString &folder, const char *key, const char *kind, const Settings &settings)
{
    if (folder.isEmpty())
        throw Error(QStringLiteral("No %1 folder is set (%2 in section Nastavitve of %3).")
                        .arg(QLatin1String(kind), QLatin1String(key), settings.FilePath));
    if (!QFileInfo(folder).isDir())
        throw Error(QStringLiteral("The %1 folder \"%2\" is not an existing folder.")
                        .arg(QLatin1String(kind), folder));
    return folder;
}

} // namespace

QString RequiredInputFolder(const Settings &settings)
{
    return requiredFolder<EFOpenError>(settings.InputFolder, "VhodniImenik", "input", settings);
}

QString RequiredOutputFolder(const Settings &settings)
{
    return requiredFolder<EFCreateError>(settings.OutputFolder, "IzhodniImenik", "output", settings);
}
