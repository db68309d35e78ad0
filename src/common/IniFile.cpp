#include "common/IniFile.h"

#include "common/FileAccess.h"

#include <cerrno>
#include <fcntl.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryFile>
#include <sys/file.h>
#include <unistd.h>

namespace {
const QByteArray utf8Bom("\xEF\xBB\xBF");
const QByteArray utf16LEBom("\xFF\xFE");
const QByteArray utf16BEBom("\xFE\xFF");
const char *const ansiCodePage = "windows-1250";

// Holds an exclusive lock on a folder for one read, change and replacement of a file in it. The file
// itself cannot carry the lock, as each write replaces it by another. Without the folder's handle (no
// permission) the write goes on unlocked and meets the same refusal when it writes.
class FolderLock
{
public:
    explicit FolderLock(const QString &folder)
        : m_handle(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_handle >= 0)
            while (::flock(m_handle, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~FolderLock()
    {
        if (m_handle >= 0)
            ::close(m_handle); // releases the lock
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

private:
    int m_handle;
};

bool isValidUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    Q_UNUSED(text);
    return !decoder.hasError();
}

QString unquoted(const QString &value)
{
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

int digitValue(QChar c, int base)
{
    const char16_t u = c.unicode();
    const int value = u >= '0' && u <= '9'   ? u - '0'
                      : u >= 'a' && u <= 'f' ? u - 'a' + 10
                      : u >= 'A' && u <= 'F' ? u - 'A' + 10
                                             : -1;
    return value < base ? value : -1;
}
} // namespace

IniFile::IniFile(const QString &path) : m_path(path)
{
    load(false);
}

void IniFile::load(bool forWriting)
{
    m_lines.clear();
    m_encoding = Encoding::Utf8;
    m_lineEnd = "\r\n";
    const QFileInfo info(m_path);
    if (info.exists()) {
        // A FIFO would block the reading, a device feed it without end.
        if (!info.isFile())
            throw EIniFileError(
                QStringLiteral("Cannot read %1: Not a regular file (a FIFO, device or folder)").arg(m_path));
        QFile file(m_path);
        if (const QString reason = openRegularFileForReading(file); reason.isEmpty()) {
            QByteArray bytes = file.readAll();
            if (bytes.startsWith(utf16LEBom) || bytes.startsWith(utf16BEBom)) {
                m_encoding = bytes.startsWith(utf16LEBom) ? Encoding::Utf16LE : Encoding::Utf16BE;
                bytes.remove(0, 2);
            } else {
                m_encoding = isValidUtf8(bytes) ? Encoding::Utf8 : Encoding::Windows1250;
            }
            // Lines are split in the file's own code units, so a UTF-16 "\n" is never taken for a byte.
            const bool wide = m_encoding == Encoding::Utf16LE || m_encoding == Encoding::Utf16BE;
            m_lineEnd = encode(QStringLiteral("\r\n")); // until the file shows its own
            const QString text = wide ? decode(bytes) : QString();
            const qsizetype size = wide ? text.size() : bytes.size();
            bool lineEndSeen = false;
            for (qsizetype start = 0; start < size;) {
                qsizetype newline = wide ? text.indexOf(u'\n', start) : bytes.indexOf('\n', start);
                const qsizetype stop = newline < 0 ? size : newline;
                qsizetype length = stop - start;
                const bool cr =
                    newline >= 0 && length > 0 && (wide ? text[stop - 1] == u'\r' : bytes[stop - 1] == '\r');
                length -= cr ? 1 : 0;
                const QByteArray end =
                    newline < 0 ? QByteArray() : encode(cr ? QStringLiteral("\r\n") : QStringLiteral("\n"));
                if (newline >= 0 && !lineEndSeen) {
                    m_lineEnd = end;
                    lineEndSeen = true;
                }
                if (wide) {
                    const QString lineText = text.mid(start, length);
                    m_lines << parse(encode(lineText), end, lineText);
                } else {
                    QByteArray raw = bytes.mid(start, length);
                    const bool bom = m_lines.isEmpty() && raw.startsWith(utf8Bom);
                    m_lines << parse(raw, end, decode(bom ? raw.mid(utf8Bom.size()) : raw));
                }
                start = newline < 0 ? size : newline + 1;
            }
        } else if (forWriting) {
            // Writing what could be read of it would lose the rest of the file.
            throw EIniFileError(QStringLiteral("Cannot read %1 to write it: %2").arg(m_path, reason));
        } // else an unreadable file reads as empty, as the profile functions do
    }
    buildIndex();
}

void IniFile::buildIndex()
{
    m_sections.clear();
    SectionRange *current = nullptr;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const Line &line = m_lines[i];
        if (!line.section.isNull()) {
            if (current)
                current->end = i;
            const QString name = line.section.toCaseFolded();
            // A later section of the same name is not read, as the first match counts.
            current =
                m_sections.contains(name) ? nullptr : &m_sections.insert(name, SectionRange{i, -1}).value();
        } else if (current && !line.key.isNull()) {
            const QString name = line.key.toCaseFolded();
            if (!current->keys.contains(name)) // the first occurrence counts
                current->keys.insert(name, i);
        }
    }
    if (current)
        current->end = m_lines.size();
}

IniFile::Line IniFile::parse(const QByteArray &raw, const QByteArray &end, const QString &text) const
{
    Line line{raw, end, {}, {}, {}};
    const QString trimmed = text.trimmed();
    if (trimmed.startsWith(u'[')) {
        const qsizetype close = trimmed.lastIndexOf(u']');
        line.section = (close < 0 ? trimmed.mid(1) : trimmed.mid(1, close - 1)).trimmed();
    } else if (const qsizetype equals = text.indexOf(u'='); equals >= 0) {
        line.key = text.left(equals).trimmed();
        line.value = unquoted(text.mid(equals + 1).trimmed());
    }
    return line;
}

const IniFile::SectionRange *IniFile::findSection(const QString &section) const
{
    const auto found = m_sections.constFind(section.toCaseFolded());
    return found == m_sections.cend() ? nullptr : &found.value();
}

qsizetype IniFile::findKey(const QString &section, const QString &key) const
{
    const SectionRange *range = findSection(section);
    return range ? range->keys.value(key.toCaseFolded(), -1) : -1;
}

bool IniFile::sectionExists(const QString &section) const
{
    return findSection(section) != nullptr;
}

bool IniFile::keyExists(const QString &section, const QString &key) const
{
    return findKey(section, key) >= 0;
}

QString IniFile::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    const qsizetype index = findKey(section, key);
    return index < 0 ? defaultValue : m_lines[index].value;
}

int IniFile::readInteger(const QString &section, const QString &key, int defaultValue) const
{
    const qsizetype index = findKey(section, key);
    if (index < 0)
        return defaultValue;
    QStringView text(m_lines[index].value);
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'-' || text.front() == u'+')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X') &&
        digitValue(text[2], 16) >= 0) {
        base = 16;
        text = text.mid(2);
    }
    // Like the profile reader, the value wraps around in 32 bits instead of failing on overflow.
    quint32 value = 0;
    qsizetype digits = 0;
    for (; digits < text.size() && digitValue(text[digits], base) >= 0; ++digits)
        value = value * base + quint32(digitValue(text[digits], base));
    if (digits == 0)
        return defaultValue;
    return int(negative ? 0u - value : value);
}

QStringList IniFile::keys(const QString &section) const
{
    QStringList names;
    const SectionRange *range = findSection(section);
    for (qsizetype i = range ? range->header + 1 : 0; range && i < range->end; ++i) {
        if (!m_lines[i].key.isNull())
            names << m_lines[i].key;
    }
    return names;
}

QByteArray IniFile::encode(const QString &text) const
{
    switch (m_encoding) {
    case Encoding::Utf8:
        return text.toUtf8();
    case Encoding::Windows1250:
        return QStringEncoder(ansiCodePage)(text);
    case Encoding::Utf16LE:
        return QStringEncoder(QStringConverter::Utf16LE)(text);
    case Encoding::Utf16BE:
        return QStringEncoder(QStringConverter::Utf16BE)(text);
    }
    return {};
}

QString IniFile::decode(const QByteArray &bytes) const
{
    switch (m_encoding) {
    case Encoding::Utf8:
        return QString::fromUtf8(bytes);
    case Encoding::Windows1250:
        return QStringDecoder(ansiCodePage)(bytes);
    case Encoding::Utf16LE:
        return QStringDecoder(QStringConverter::Utf16LE)(bytes);
    case Encoding::Utf16BE:
        return QStringDecoder(QStringConverter::Utf16BE)(bytes);
    }
    return {};
}

void IniFile::checkName(const QString &section, const QString &key) const
{
    if (section.contains(u']') || section.contains(u'\n') || section.contains(u'\r') || key.contains(u'=') ||
        key.contains(u'\n') || key.contains(u'\r') || key.trimmed().isEmpty())
        throw EIniFileError(QStringLiteral("Invalid key [%1] %2 for %3").arg(section, key, m_path));
}

void IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    writeStrings(section, {{key, value}});
}

void IniFile::writeStrings(const QString &section, const QList<std::pair<QString, QString>> &keysAndValues)
{
    for (const auto &[key, value] : keysAndValues)
        checkName(section, key);
    const FolderLock lock(QFileInfo(m_path).absolutePath());
    load(true); // what others wrote since the last read stays
    if (!findSection(section)) {
        if (!m_lines.isEmpty() && m_lines.back().end.isEmpty())
            m_lines.back().end = m_lineEnd;
        const QString header = u'[' + section + u']';
        m_lines << parse(encode(header), m_lineEnd, header);
        buildIndex();
    }
    const SectionRange range = *findSection(section);
    // Existing keys change in place; new ones are gathered and go in together after the section's last
    // line that is not blank, so that many keys cost one pass over the file.
    QList<Line> added;
    QHash<QString, qsizetype> addedIndex;
    for (const auto &[key, value] : keysAndValues) {
        // A line break would split the value into lines that read as other keys, so it becomes a blank.
        QString flatValue = value;
        flatValue.replace(QLatin1String("\r\n"), QLatin1String(" "))
            .replace(u'\r', u' ')
            .replace(u'\n', u' ');
        const QString folded = key.toCaseFolded();
        if (const qsizetype index = range.keys.value(folded, -1); index >= 0) {
            const QString text = m_lines[index].key + u'=' + flatValue;
            m_lines[index] = parse(encode(text), m_lines[index].end, text);
        } else if (const qsizetype index = addedIndex.value(folded, -1); index >= 0) {
            const QString text = added[index].key + u'=' + flatValue;
            added[index] = parse(encode(text), m_lineEnd, text);
        } else {
            const QString text = key + u'=' + flatValue;
            addedIndex.insert(folded, added.size());
            added << parse(encode(text), m_lineEnd, text);
        }
    }
    qsizetype after = range.end;
    while (after > range.header + 1 && m_lines[after - 1].raw.trimmed().isEmpty())
        --after;
    if (!added.isEmpty()) {
        if (m_lines[after - 1].end.isEmpty())
            m_lines[after - 1].end = m_lineEnd;
        m_lines.insert(after, added.size(), Line{});
        std::move(added.begin(), added.end(), m_lines.begin() + after);
    }
    save();
}

void IniFile::eraseSection(const QString &section)
{
    const FolderLock lock(QFileInfo(m_path).absolutePath());
    load(true);
    const SectionRange *range = findSection(section);
    if (!range)
        return;
    m_lines.remove(range->header, range->end - range->header);
    save();
}

void IniFile::save()
{
    // Written to a temporary file beside it and renamed over the path itself: a failure never leaves a
    // half-written file, and a link is replaced instead of written through to a file in another folder.
    const QFileInfo target(m_path);
    QTemporaryFile file(
        QDir(target.absolutePath()).filePath(u'.' + target.fileName() + QStringLiteral(".XXXXXX")));
    QString reason;
    if (file.open()) {
        if (target.exists())
            file.setPermissions(target.permissions());
        bool written = true;
        if (m_encoding == Encoding::Utf16LE || m_encoding == Encoding::Utf16BE)
            written = writeAll(file, m_encoding == Encoding::Utf16LE ? utf16LEBom : utf16BEBom);
        for (qsizetype i = 0; written && i < m_lines.size(); ++i)
            written = writeAll(file, m_lines[i].raw + m_lines[i].end);
        if (written && file.flush() && ::fsync(file.handle()) == 0 &&
            ::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(m_path).constData()) ==
                0) {
            file.setAutoRemove(false);
            buildIndex();
            return;
        }
        reason =
            written && file.error() == QFileDevice::NoError ? qt_error_string(errno) : file.errorString();
    } else {
        reason = file.errorString();
    }
    load(false); // what is read stays what is in the file
    throw EIniFileError(QStringLiteral("Cannot write %1: %2").arg(m_path, reason));
}
