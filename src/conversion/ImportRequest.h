#pragma once

#include <QCoreApplication>
#include <QDateTime>
#include <QString>

struct DatabaseLogin;
struct HostConfiguration;
struct Settings;

// Everything the dispatch needs from the window (or from the headless converter) for one
// DoImport: the chosen report type, the member, the folders, the settings and the host
// database login.
struct ImportRequest
{
    QString name;          // the received file name, or the service operation in convert-only mode
    QString label;         // report label (ReportLabel of the type list text)
    QString memberBoxText; // text of the member box, untrimmed; blank means the own member
    QString OwnMemberCode;
    bool onlyActive = false; // accounts: only active accounts ("Samo aktivni" shown and ticked)
    bool Unattended = false;
    QString InputFolder;
    QString OutputFolder;
    QDateTime RunStartTime;
    bool PapirPoKotacijiSLO = false;
    bool TransaImportPreferred = false;
    QString DatabaseAlias;
    QString DatabaseUser;
    QString DatabasePassword;
    QString FileSuffix;
    QString programFolder = QCoreApplication::applicationDirPath(); // where "tipi.ini" lies

    // The member code of the conversion: the member box text when it is not blank, otherwise
    // the own member code.
    QString memberCode() const { return memberBoxText.trimmed().isEmpty() ? OwnMemberCode : memberBoxText; }
};

// Fills the fields the window and the headless converter both take from the settings file, the
// host's configuration and the database login.
void applySettingsAndHost(ImportRequest &request, const Settings &settings, const HostConfiguration &host,
                          const DatabaseLogin &login);
