#include "common/IniFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace {
const QByteArray utf8Bom("\xEF\xBB\xBF");
const char *const ansiCodePage = "windows-1250";

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
    load();
}

void IniFile::load()
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return; // a missing or unreadable file reads as empty, as the profile functions do
    const QByteArray bytes = file.readAll();
    m_utf8 = isValidUtf8(bytes);

    qsizetype start = 0;
    bool lineEndSeen = false;
    while (start < bytes.size()) {
        qsizetype newline = bytes.indexOf('\n', start);
        QByteArray raw, end;
        if (newline < 0) {
            raw = bytes.mid(start);
            start = bytes.size();
        } else {
            raw = bytes.mid(start, newline - start);
            end = "\n";
            if (raw.endsWith('\r')) {
                raw.chop(1);
                end = "\r\n";
            }
            if (!lineEndSeen)
                m_lineEnd = end;
            lineEndSeen = true;
            start = newline + 1;
        }
        m_lines << parse(raw, end);
    }
}

IniFile::Line IniFile::parse(QByteArray raw, QByteArray end) const
{
    Line line{raw, end, {}, {}, {}};
    if (m_lines.isEmpty() && raw.startsWith(utf8Bom))
        raw.remove(0, utf8Bom.size());
    const QString text = m_utf8 ? QString::fromUtf8(raw) : QStringDecoder(ansiCodePage)(raw);
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

IniFile::SectionRange IniFile::findSection(const QString &section) const
{
    SectionRange range;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].section.isNull())
            continue;
        if (range.header >= 0) {
            range.end = i;
            return range;
        }
        if (m_lines[i].section.compare(section, Qt::CaseInsensitive) == 0)
            range.header = i;
    }
    if (range.header >= 0)
        range.end = m_lines.size();
    return range;
}

qsizetype IniFile::findKey(const SectionRange &range, const QString &key) const
{
    for (qsizetype i = range.header + 1; range.header >= 0 && i < range.end; ++i) {
        if (!m_lines[i].key.isNull() && m_lines[i].key.compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool IniFile::sectionExists(const QString &section) const
{
    return findSection(section).header >= 0;
}

bool IniFile::keyExists(const QString &section, const QString &key) const
{
    return findKey(findSection(section), key) >= 0;
}

QString IniFile::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    const qsizetype index = findKey(findSection(section), key);
    return index < 0 ? defaultValue : m_lines[index].value;
}

int IniFile::readInteger(const QString &section, const QString &key, int defaultValue) const
{
    const qsizetype index = findKey(findSection(section), key);
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
    const SectionRange range = findSection(section);
    for (qsizetype i = range.header + 1; range.header >= 0 && i < range.end; ++i) {
        if (!m_lines[i].key.isNull())
            names << m_lines[i].key;
    }
    return names;
}

QByteArray IniFile::encode(const QString &text) const
{
    return m_utf8 ? text.toUtf8() : QByteArray(QStringEncoder(ansiCodePage)(text));
}

void IniFile::insertLine(qsizetype index, const QString &text)
{
    if (index > 0 && m_lines[index - 1].end.isEmpty())
        m_lines[index - 1].end = m_lineEnd;
    m_lines.insert(index, Line{encode(text), m_lineEnd, {}, {}, {}});
    m_lines[index] = parse(m_lines[index].raw, m_lineEnd);
}

void IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    writeStrings(section, {{key, value}});
}

void IniFile::writeStrings(const QString &section, const QList<std::pair<QString, QString>> &keysAndValues)
{
    const QList<Line> previous = m_lines;
    try {
        for (const auto &[key, value] : keysAndValues)
            setString(section, key, value);
    } catch (...) {
        m_lines = previous;
        throw;
    }
    save(previous);
}

void IniFile::setString(const QString &section, const QString &key, const QString &value)
{
    if (section.contains(u']') || section.contains(u'\n') || section.contains(u'\r') || key.contains(u'=') ||
        key.contains(u'\n') || key.contains(u'\r') || key.trimmed().isEmpty())
        throw EIniFileError(QStringLiteral("Invalid key [%1] %2 for %3").arg(section, key, m_path));
    // A line break would split the value into lines that read as other keys, so it becomes a blank.
    QString flatValue = value;
    flatValue.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(u'\r', u' ').replace(u'\n', u' ');

    SectionRange range = findSection(section);
    if (range.header < 0) {
        insertLine(m_lines.size(), u'[' + section + u']');
        range = findSection(section);
    }
    const QString text = key + u'=' + flatValue;
    if (const qsizetype index = findKey(range, key); index >= 0) {
        m_lines[index] = parse(encode(m_lines[index].key + u'=' + flatValue), m_lines[index].end);
    } else {
        qsizetype after = range.end;
        while (after > range.header + 1 && m_lines[after - 1].raw.trimmed().isEmpty())
            --after;
        insertLine(after, text);
    }
}

void IniFile::eraseSection(const QString &section)
{
    const SectionRange range = findSection(section);
    if (range.header < 0)
        return;
    const QList<Line> previous = m_lines;
    m_lines.remove(range.header, range.end - range.header);
    save(previous);
}

void IniFile::save(const QList<Line> &previous)
{
    // Written to a temporary file and renamed, so a failure never leaves a half-written file behind.
    QSaveFile file(m_path);
    if (file.open(QIODevice::WriteOnly)) {
        for (const Line &line : m_lines)
            file.write(line.raw + line.end);
        if (file.commit())
            return;
    }
    m_lines = previous; // what is read stays what is in the file
    throw EIniFileError(QStringLiteral("Cannot write %1: %2").arg(m_path, file.errorString()));
}
