#include "common/RunJournal.h"

#include "common/Clock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <openssl/evp.h>
#include <pwd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

QString operatingSystemUser()
{
    if (const passwd *user = getpwuid(geteuid()))
        return QString::fromLocal8Bit(user->pw_name);
    return qEnvironmentVariable("USER");
}

QJsonObject fileObject(const JournalFile &file)
{
    QJsonObject object{{"path", file.path}, {"size", file.size}, {"sha256", file.sha256}};
    if (file.records >= 0)
        object.insert("records", file.records);
    return object;
}

QJsonArray fileArray(const QList<JournalFile> &files)
{
    QJsonArray array;
    for (const JournalFile &file : files)
        array.append(fileObject(file));
    return array;
}

QString withoutSecrets(const QString &url)
{
    return url.isEmpty() ? url : QUrl(url).toString(QUrl::RemoveUserInfo);
}

// A file descriptor closed with the object.
struct Descriptor
{
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

QString rotated(const QString &path, int number)
{
    return path + u'.' + QString::number(number);
}

QString fileName(const QString &path)
{
    return QFileInfo(path).fileName();
}

} // namespace

JournalFile DescribeFile(const QString &path, bool countRecords)
{
    JournalFile described;
    described.path = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return described;
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> digest(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!digest || EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1)
        return described;
    qint64 size = 0;
    qint64 lines = 0;
    char last = '\n';
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    for (;;) {
        const qint64 read = file.read(buffer.data(), buffer.size());
        if (read < 0)
            return described;
        if (read == 0)
            break;
        EVP_DigestUpdate(digest.get(), buffer.constData(), size_t(read));
        if (countRecords)
            lines += QByteArrayView(buffer.constData(), read).count('\n');
        last = buffer.at(read - 1);
        size += read;
    }
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int hashSize = 0;
    if (EVP_DigestFinal_ex(digest.get(), hash, &hashSize) != 1)
        return described;
    described.size = size;
    described.sha256 =
        QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(hash), hashSize).toHex());
    if (countRecords)
        described.records = lines + (last != '\n' ? 1 : 0); // a last line without its line end counts
    return described;
}

QJsonObject JournalEntry::toJson() const
{
    QJsonObject object{
        {"time", Clock::now().toUTC().toString(Qt::ISODate)},
        {"program", program},
        {"mode", mode},
        {"action", action},
        {"user", operatingSystemUser()},
        {"member", member},
        {"report", reportType},
        {"dateFrom", dateFrom.isValid() ? dateFrom.toString(Qt::ISODate) : QString()},
        {"dateTo", dateTo.isValid() ? dateTo.toString(Qt::ISODate) : QString()},
        {"url", withoutSecrets(url)},
        {"httpStatus", httpStatus},
        {"bytesReceived", bytesReceived},
        {"stored", fileArray(stored)},
        {"written", fileArray(written)},
        {"missingSecurities", missingSecurities},
        {"result", result},
        {"succeeded", succeeded},
    };
    return object;
}

QString RunSummaryLine(const JournalEntry &entry)
{
    QStringList parts;
    for (const JournalFile &file : entry.stored)
        parts << QStringLiteral("stored %1 (%2 bytes)").arg(file.path).arg(file.size);
    for (const JournalFile &file : entry.written)
        parts << (file.records >= 0 ? QStringLiteral("wrote %1 (%2 records)").arg(file.path).arg(file.records)
                                    : QStringLiteral("wrote %1 (%2 bytes)").arg(file.path).arg(file.size));
    if (entry.missingSecurities > 0)
        parts << QStringLiteral("%1 securities not found in the host database").arg(entry.missingSecurities);
    // The securities not found are counted above; what else the result says is the failure.
    QStringList failure;
    for (const QString &line : entry.result.split(u'\n'))
        if (!line.trimmed().isEmpty() && !line.trimmed().startsWith(QLatin1String("Manjka VP za ISIN:")))
            failure << line.simplified();
    if (!entry.succeeded && !failure.isEmpty())
        parts << QStringLiteral("failed: ") + failure.join(u' ');
    else if (parts.isEmpty())
        parts << QStringLiteral("nothing stored or written");
    return QStringLiteral("Summary of %1: ")
               .arg(entry.reportType.isEmpty() ? entry.action : entry.reportType) +
           parts.join(QStringLiteral("; "));
}

RunJournal::RunJournal(const QString &path, qint64 maxBytes, int keep)
    : m_path(path.isEmpty() ? DefaultPath() : path), m_maxBytes(maxBytes < 1 ? DefaultMaxBytes : maxBytes),
      m_keep(qMax(1, keep))
{
}

QString RunJournal::DefaultPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/vornimport/journal.jsonl");
}

QString RunJournal::append(const JournalEntry &entry) const
{
    const QByteArray line = QJsonDocument(entry.toJson()).toJson(QJsonDocument::Compact) + '\n';
    const QString failure =
        QStringLiteral("The run journal %1 could not be written (%2); the run itself is not "
                       "affected. Check the folder's permissions or the setting Dnevnik.");
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return failure.arg(m_path, QStringLiteral("its folder cannot be created"));
    Descriptor lock;
    lock.fd = ::open(QFile::encodeName(m_path + QStringLiteral(".lock")).constData(),
                     O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (lock.fd < 0 || ::flock(lock.fd, LOCK_EX) != 0)
        return failure.arg(m_path, systemError());
    // Rotation happens under the lock, so no writer appends to a file that is being renamed.
    struct stat status
    {
    };
    const QByteArray encoded = QFile::encodeName(m_path);
    if (::stat(encoded.constData(), &status) == 0 && status.st_size > 0 &&
        status.st_size + line.size() > m_maxBytes) {
        QFile::remove(rotated(m_path, m_keep));
        for (int number = m_keep - 1; number >= 1; --number)
            QFile::rename(rotated(m_path, number), rotated(m_path, number + 1));
        if (::rename(encoded.constData(), QFile::encodeName(rotated(m_path, 1)).constData()) != 0)
            return failure.arg(m_path, systemError());
    }
    Descriptor journal;
    journal.fd = ::open(encoded.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (journal.fd < 0)
        return failure.arg(m_path, systemError());
    const ssize_t written = ::write(journal.fd, line.constData(), size_t(line.size()));
    if (written != ssize_t(line.size()))
        return failure.arg(m_path, written < 0 ? systemError() : QStringLiteral("the record was cut short"));
    return {};
}

QList<QJsonObject> RunJournal::lastRecords(int count) const
{
    QList<QJsonObject> records;
    // Newest file first; within a file the last lines first.
    for (int number = 0; number <= m_keep && records.size() < count; ++number) {
        QFile file(number == 0 ? m_path : rotated(m_path, number));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (qsizetype i = lines.size() - 1; i >= 0 && records.size() < count; --i) {
            const QJsonDocument document = QJsonDocument::fromJson(lines[i]);
            if (document.isObject())
                records.prepend(document.object());
        }
    }
    return records;
}

QString FormatHistory(const QList<QJsonObject> &records)
{
    const QStringList header{"Time (UTC)", "Program", "Member", "Report",
                             "Period",     "HTTP",    "Bytes",  "Result"};
    QList<QStringList> rows{header};
    for (const QJsonObject &record : records) {
        const QString period = record.value("dateFrom").toString().isEmpty()
                                   ? QString()
                                   : record.value("dateFrom").toString() + QStringLiteral("..") +
                                         record.value("dateTo").toString();
        const int status = record.value("httpStatus").toInt();
        const qint64 bytes = record.value("bytesReceived").toInteger(-1);
        QString result = record.value("succeeded").toBool() ? QStringLiteral("OK") : QStringLiteral("FAILED");
        const QString text = record.value("result").toString().simplified();
        if (!text.isEmpty())
            result += QStringLiteral(" ") + text.left(60);
        for (const QJsonValue &file : record.value("written").toArray())
            result += QStringLiteral(" ") + fileName(file.toObject().value("path").toString());
        rows << QStringList{record.value("time").toString(),
                            record.value("program").toString() + u'/' + record.value("mode").toString(),
                            record.value("member").toString(),
                            record.value("report").toString(),
                            period,
                            status > 0 ? QString::number(status) : QStringLiteral("-"),
                            bytes >= 0 ? QString::number(bytes) : QStringLiteral("-"),
                            result};
    }
    QList<qsizetype> widths(header.size(), 0);
    for (const QStringList &row : rows)
        for (qsizetype i = 0; i + 1 < row.size(); ++i)
            widths[i] = qMax(widths[i], row[i].size());
    QString table;
    for (const QStringList &row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i].leftJustified(widths[i] + 2) : row[i];
        table += line.trimmed() + u'\n';
    }
    if (records.isEmpty())
        table += QStringLiteral("(no runs in the journal)\n");
    return table;
}
