#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

// The administrator's certificate store commands, without a window or a display:
//   VornImport --certificates [STORE]                           lists the stores' certificates
//   VornImport --import-certificate STORE FILE [PASSWORD_FILE]   imports a PKCS#12 file into a file store
// The PKCS#12 password comes from PASSWORD_FILE, else from the terminal (not echoed), else from the first
// line of standard input. Both return the exit code: 0 done, 1 failed or wrong command line.
int RunCertificatesCommand(const QStringList &arguments, const QString &programFilePath, QTextStream &out,
                           QTextStream &err);
int RunImportCertificateCommand(const QStringList &arguments, QTextStream &out, QTextStream &err);
