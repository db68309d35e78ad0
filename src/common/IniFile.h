#pragma once

#include "common/Exception.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <utility>

VORN_DECLARE_EXCEPTION(EIniFileError, Exception)

// An initialization file ("[Section]" headers and "Key=Value" lines) read and written with the
// rules of the Windows profile functions that the settings, "tipi.ini"-style and request files rely on:
// - section and key names are matched without regard to letter case; the first match counts;
// - names and values are trimmed; a value enclosed in a pair of single or double quotes loses them;
// - a text read of a missing key gives the default, an existing empty key gives "".
// The file is read when the object is created. Every write reads the file again, changes only its own
// keys, keeps every other line byte for byte and replaces the file in one step (a link is replaced by the
// file, its target stays as it is); the folder is locked meanwhile, so that two writers never lose each
// other's lines. A file with a UTF-16 byte-order mark is read and written as UTF-16 of that byte order, a
// file that is valid UTF-8 as UTF-8, any other as Windows-1250; new lines take the file's line end (CR LF
// for a new file). Sections and keys are found through an index, so that long files stay fast.
class IniFile
{
public:
    enum class Encoding
    {
        Utf8,
        Windows1250,
        Utf16LE,
        Utf16BE
    };

    // A missing or unreadable file reads as empty; one that is no regular file (a FIFO, a device)
    // throws EIniFileError, as it would block the reading or feed it without end.
    explicit IniFile(const QString &path);

    const QString &path() const { return m_path; }
    Encoding encoding() const { return m_encoding; }

    bool sectionExists(const QString &section) const;
    bool keyExists(const QString &section, const QString &key) const;
    QString readString(const QString &section, const QString &key, const QString &defaultValue) const;
    // Decimal, or hexadecimal after a leading "0x"/"0X", with an optional sign; the digits are read up
    // to the first other character. A missing key or a value without digits gives the default.
    int readInteger(const QString &section, const QString &key, int defaultValue) const;
    // The names of the keys of a section, in file order.
    QStringList keys(const QString &section) const;

    // Replaces the key's value, or adds the key at the end of its section (adding the section at the end
    // of the file when missing). Throws EIniFileError when the file cannot be written.
    void writeString(const QString &section, const QString &key, const QString &value);
    // Writes several keys of a section in order, with the rules of writeString, in one write of the file:
    // a long list costs one write instead of one per key. Nothing is written when one of them is invalid.
    void writeStrings(const QString &section, const QList<std::pair<QString, QString>> &keysAndValues);
    // Removes the section's header and all its lines. Throws EIniFileError when the file cannot be written.
    void eraseSection(const QString &section);

private:
    struct Line
    {
        QByteArray raw;  // as in the file, without the line end
        QByteArray end;  // "\r\n", "\n" or "" for a last line without one
        QString section; // the name when the line is a section header, else null
        QString key;     // the name when the line is a key line, else null
        QString value;   // the value of a key line, trimmed and unquoted
    };
    struct SectionRange
    {
        qsizetype header = -1;            // index of the header line
        qsizetype end = -1;               // index one past the section's last line
        QHash<QString, qsizetype> keys{}; // case-folded name to the line of its first occurrence
    };

    // forWriting: a file that exists but cannot be read throws instead of reading as empty.
    void load(bool forWriting);
    void buildIndex();
    void save();
    Line parse(const QByteArray &raw, const QByteArray &end, const QString &text) const;
    QByteArray encode(const QString &text) const;
    QString decode(const QByteArray &bytes) const;
    const SectionRange *findSection(const QString &section) const;
    qsizetype findKey(const QString &section, const QString &key) const;
    void checkName(const QString &section, const QString &key) const;

    QString m_path;
    Encoding m_encoding = Encoding::Utf8;
    QByteArray m_lineEnd = "\r\n";
    QList<Line> m_lines;
    QHash<QString, SectionRange> m_sections; // by case-folded name, the first section of the name
};
