#pragma once

#include <QString>

// The local choices of the settings file (sections "Nastavitve" and "Podatki"), read once at start-up.
struct Settings
{
    QString InputFolder;               // Nastavitve/VhodniImenik: where fetched reports are stored and read
    QString OutputFolder;              // Nastavitve/IzhodniImenik: import files and the clock probe
    QString MenuItemName;              // Podatki/Naziv: quoted in the wrong-start message
    bool ConvertOnly = false;          // Nastavitve/Pretvorba: "Only conversion XML->txt" shown and ticked
    bool OfferDailyBondValues = false; // Nastavitve/DailyBondValues: lists the daily bond values report
    bool OfferSharebookTXT = false;    // Nastavitve/SharebookTXT: lists the sharebook text report
    bool PapirPoKotacijiSLO = false;   // Nastavitve/PapirPoKotacijiSLO: security lookup by listing
    bool ShowDatabaseErrors = false;   // Nastavitve/PrikazDBNapak exactly "D": raise host database errors
    bool Debug = false;                // Nastavitve/Debug exactly "D": the "Debug" box starts ticked
    QString CAFile;                    // Nastavitve/CAFile: trusted certificate authorities of the transport
    QString FilePath;                  // the settings file these were read from, for messages
    QString Proxy;                     // Nastavitve/Proxy: the transport's proxy URL; empty for none
    // Limits of a fetch; a value below 1 takes the default.
    int FetchTimeLimitSeconds = 1800;   // Nastavitve/MaksCasPrenosa: a whole fetch
    int MinTransferRate = 1024;         // Nastavitve/MinHitrostPrenosa: bytes a second of the answer,
    int TransferRateWindowSeconds = 60; // Nastavitve/OknoHitrostiPrenosa: measured over this window
    int MaxEntrySizeMiB = 2048;         // Nastavitve/MaksVelikostDatotekeMB: an archive entry inflated
    int MaxArchiveEntries = 100;        // Nastavitve/MaksSteviloDatotek: entries of one archive
    int MaxErrorPageKiB = 1024;         // Nastavitve/MaksVelikostNapakeKB: an error page kept for showing
    QString JournalPath;        // Nastavitve/Dnevnik: the run journal; empty for the user's state folder
    qint64 JournalMaxBytes = 0; // Nastavitve/DnevnikVelikost: bytes before it rotates; 0 for 10 MB
    QString PKCS11Module;       // Nastavitve/PKCS11Module: the module of token stores; empty: p11-kit's
    QString PKCS11PinFile;      // Nastavitve/PKCS11PinFile: the file with the tokens' user PIN
};

// The settings file of a program: its path with the extension replaced by ".ini", or ".ini" appended
// when the file name has no extension ("VornImport" gives "VornImport.ini").
QString SettingsFilePath(const QString &executablePath);

// Reads the settings file; a missing or unreadable file gives every default, without a message.
Settings ReadSettings(const QString &path);
// Reads a settings file that the user named; throws EFOpenError naming it when it does not exist.
Settings ReadNamedSettings(const QString &path);

// The folder of VhodniImenik or IzhodniImenik. An empty setting would lead every file name to the file
// system's root, so it throws, as does a setting that names no existing folder: EFOpenError for the
// input folder, EFCreateError for the output folder, naming the key and the settings file.
QString RequiredInputFolder(const Settings &settings);
QString RequiredOutputFolder(const Settings &settings);
