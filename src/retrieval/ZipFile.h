#pragma once

#include "common/Exception.h"

#include <cstdint>
#include <QByteArray>
#include <QList>

class QIODevice;

VORN_DECLARE_EXCEPTION(EZipFileCRCError, Exception)
// zlib rejected an entry's deflate data.
VORN_DECLARE_EXCEPTION(EZDecompressionError, Exception)

// One local file header of an archive with the entry's compressed bytes.
struct TLocalFile
{
    std::uint32_t signature = 0;
    std::uint16_t versionNeeded = 0;
    std::uint16_t flag = 0;
    std::uint16_t method = 0;
    std::uint32_t modificationTimeDate = 0;
    std::uint32_t crc32 = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint16_t fileNameLength = 0;
    std::uint16_t extraFieldLength = 0;
    QByteArray fileName;
    QByteArray extraField;
    QByteArray compressedData;
};

// One central directory record.
struct TFileHeader
{
    std::uint32_t signature = 0;
    std::uint16_t versionMadeBy = 0;
    std::uint16_t versionNeeded = 0;
    std::uint16_t flag = 0;
    std::uint16_t method = 0;
    std::uint32_t modificationTimeDate = 0;
    std::uint32_t crc32 = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint16_t fileNameLength = 0;
    std::uint16_t extraFieldLength = 0;
    std::uint16_t fileCommentLength = 0;
    std::uint16_t diskNumberStart = 0;
    std::uint16_t internalAttributes = 0;
    std::uint32_t externalAttributes = 0;
    std::uint32_t localHeaderOffset = 0;
    QByteArray fileName;
    QByteArray extraField;
    QByteArray fileComment;
};

// The end-of-central-directory record.
struct TEndOfCentralDir
{
    std::uint32_t signature = 0;
    std::uint16_t diskNumber = 0;
    std::uint16_t centralDirDisk = 0;
    std::uint16_t entriesOnDisk = 0;
    std::uint16_t totalEntries = 0;
    std::uint32_t centralDirSize = 0;
    std::uint32_t centralDirOffset = 0;
    std::uint16_t commentLength = 0;
};

// Reads a zip archive front to back from a stream and inflates its entries on request.
// Sizes and CRC of an entry come from its local header alone; data descriptors, encryption,
// multi-disk and 64-bit archives are not supported. Damage is never reported while
// parsing: it shows when an entry is extracted.
class TZipFile
{
public:
    void ReadArchive(QIODevice &stream);
    void ReadArchive(const QByteArray &archive);

    int EntryCount() const { return int(m_entries.size()); }
    // The caller keeps the index within 0..EntryCount()-1.
    QByteArray EntryName(int index) const { return m_entries.at(index).fileName; }
    QByteArray ExtractEntry(int index) const;

    const QList<TLocalFile> &entries() const { return m_entries; }
    const QList<TFileHeader> &centralDirectory() const { return m_fileHeaders; }
    const TEndOfCentralDir &endOfCentralDir() const { return m_endOfCentralDir; }
    const QByteArray &comment() const { return m_comment; }

private:
    QList<TLocalFile> m_entries;
    QList<TFileHeader> m_fileHeaders; // one slot per entry
    TEndOfCentralDir m_endOfCentralDir;
    QByteArray m_comment;
};

std::uint32_t ZipCrc32(const QByteArray &bytes);
