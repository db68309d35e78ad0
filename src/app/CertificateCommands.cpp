#include "app/CertificateCommands.h"

#include "common/FileAccess.h"
#include "host/Settings.h"
#include "retrieval/CertificateStores.h"
#include "retrieval/ClientCertificateStore.h"

#include <cstdio>
#include <QFile>
#include <QTextStream>
#include <termios.h>
#include <unistd.h>

namespace {

QByteArray firstLine(QFile &file)
{
    QByteArray line = file.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

// The password from the terminal without echo, or the first line of standard input when it is no terminal.
QByteArray askPassword(const QString &pkcs12File, QTextStream &err)
{
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return {};
    if (!isatty(STDIN_FILENO))
        return firstLine(input);
    err << "Password of " << pkcs12File << ": " << Qt::flush;
    termios saved{};
    tcgetattr(STDIN_FILENO, &saved);
    termios silent = saved;
    silent.c_lflag &= ~tcflag_t(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &silent);
    const QByteArray password = firstLine(input);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    err << Qt::endl;
    return password;
}

} // namespace

int RunCertificatesCommand(const QStringList &arguments, const QString &programFilePath, QTextStream &out,
                           QTextStream &err)
{
    if (arguments.size() > 1) {
        err << "Usage: VornImport --certificates [STORE]\n" << Qt::flush;
        return 1;
    }
    const QString storesFolder = ElWinCertStorage::currentUserStoresFolder();
    const Settings settings = ReadSettings(SettingsFilePath(programFilePath));
    const QList<StoreListing> listings =
        listCertificateStores(storesFolder, arguments.value(0), tokenAccessOf(settings));
    if (listings.isEmpty()) {
        out << "No certificate stores in " << storesFolder
            << ". Import a certificate with VornImport --import-certificate STORE FILE." << Qt::endl;
        return 0;
    }
    bool failed = false;
    for (const StoreListing &listing : listings) {
        for (const QString &line : listing.lines())
            out << line << '\n';
        failed = failed || !listing.error.isEmpty();
    }
    out << Qt::flush;
    return failed ? 1 : 0;
}

int RunImportCertificateCommand(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    if (arguments.size() < 2 || arguments.size() > 3) {
        err << "Usage: VornImport --import-certificate STORE FILE [PASSWORD_FILE]\n" << Qt::flush;
        return 1;
    }
    const QString store = arguments[0];
    const QString pkcs12File = arguments[1];
    QByteArray password;
    if (arguments.size() == 3) {
        QFile file(arguments[2]);
        if (const QString reason = openRegularFileForReading(file); !reason.isEmpty()) {
            err << "Cannot read the password file " << arguments[2] << ": " << reason << Qt::endl;
            return 1;
        }
        password = firstLine(file);
    } else {
        password = askPassword(pkcs12File, err);
    }
    try {
        QString written;
        const ElX509Certificate certificate =
            importPkcs12(ElWinCertStorage::currentUserStoresFolder(), store, pkcs12File, password, &written);
        out << "Imported " << certificate.subject() << " into " << written << '\n'
            << "Key identifier for the host configuration (CERTIFICATESUBJECTKEYID, "
               "CertificateSubjectKeyID): "
            << keyIdText(certificate) << '\n'
            << "Certificate store (CERTIFICATESTORAGE, CertificateStorage): " << store << Qt::endl;
        return 0;
    } catch (const std::exception &error) {
        err << QString::fromUtf8(error.what()) << Qt::endl;
        return 1;
    }
}
