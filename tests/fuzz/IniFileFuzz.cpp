// Fuzz target: a settings or request file written by another program, read key by key the way
// the tool reads it, then one value written back, as the unattended run does.
#include "common/IniFile.h"

#include <cstddef>
#include <cstdint>
#include <QFile>
#include <QTemporaryDir>

namespace {

// The sections the tool reads, and those the file names itself in lines starting with "[".
QStringList sectionNames(const QByteArray &bytes)
{
    QStringList names{"Nastavitve", "Podatki", "Request", "Response", "Messages", "Tipi"};
    for (const QByteArray &line : bytes.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith('['))
            names << QString::fromUtf8(trimmed.mid(1, trimmed.indexOf(']') - 1));
    }
    return names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const QTemporaryDir dir;
    const QString path = dir.filePath("fuzz.ini");
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            __builtin_trap(); // the harness itself failed, not the reader
    }

    IniFile ini(path);
    const QStringList sections = sectionNames(bytes);
    for (const QString &section : sections) {
        if (!ini.sectionExists(section))
            continue;
        for (const QString &key : ini.keys(section)) {
            if (!ini.keyExists(section, key))
                __builtin_trap(); // a listed key must be found again
            ini.readString(section, key, QStringLiteral("default"));
            ini.readInteger(section, key, -1);
        }
    }
    try {
        ini.writeString(QStringLiteral("Response"), QStringLiteral("Status"), QStringLiteral("OK"));
        if (IniFile(path).readString(QStringLiteral("Response"), QStringLiteral("Status"), {}) != "OK")
            __builtin_trap(); // what was written must read back
    } catch (const Exception &) {
        // A file that cannot be written is reported to the caller.
    }
    return 0;
}
