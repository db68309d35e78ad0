#include "retrieval/ZipFile.h"

#include <algorithm>
#include <climits>
#include <QBuffer>
#include <QIODevice>
#include <zlib.h>

namespace {

constexpr std::uint32_t LocalFileSignature = 0x04034B50;
constexpr std::uint32_t CentralDirSignature = 0x02014B50;
constexpr std::uint32_t EndOfCentralDirSignature = 0x06054B50;

// Plain reads that may come up short at the end of the stream. Lengths come from the
// archive itself, so a hostile length is never allocated ahead of the bytes that exist.
class ArchiveReader
{
public:
    explicit ArchiveReader(QIODevice &stream) : m_stream(stream) {}

    QByteArray bytes(qint64 count)
    {
        constexpr qint64 Chunk = 64 * 1024;
        QByteArray result;
        while (count > 0) {
            const QByteArray piece = m_stream.read(std::min(count, Chunk));
            result += piece;
            count -= piece.size();
            if (piece.isEmpty())
                break;
        }
        return result;
    }

    // A fixed-size block; the bytes missing at the end of the stream read as 0.
    QByteArray block(int size)
    {
        QByteArray result = bytes(size);
        result.append(size - result.size(), '\0');
        return result;
    }

    std::uint32_t word() { return BlockFields(block(4)).u32(); }
    bool atStreamEnd() const { return m_stream.pos() == m_stream.size(); }

    // Little-endian fields read one after the other from a block.
    class BlockFields
    {
    public:
        explicit BlockFields(QByteArray block) : m_block(std::move(block)) {}
        std::uint16_t u16() { return std::uint16_t(take(2)); }
        std::uint32_t u32() { return std::uint32_t(take(4)); }

    private:
        std::uint64_t take(int size)
        {
            std::uint64_t value = 0;
            for (int i = size - 1; i >= 0; --i)
                value = (value << 8) | std::uint8_t(m_block.at(m_offset + i));
            m_offset += size;
            return value;
        }
        QByteArray m_block;
        int m_offset = 0;
    };

private:
    QIODevice &m_stream;
};

using BlockFields = ArchiveReader::BlockFields;

// Fields from version needed to extract up to extra field length: 26 bytes, alike in the
// local header and the central directory record.
template<typename Header> void readCommonFields(Header &header, BlockFields fields)
{
    header.versionNeeded = fields.u16();
    header.flag = fields.u16();
    header.method = fields.u16();
    header.modificationTimeDate = fields.u32();
    header.crc32 = fields.u32();
    header.compressedSize = fields.u32();
    header.uncompressedSize = fields.u32();
    header.fileNameLength = fields.u16();
    header.extraFieldLength = fields.u16();
}

// Inflates at most `size` bytes, growing the output only as zlib produces it. Fewer bytes
// than asked give an empty result.
QByteArray inflateExactly(const QByteArray &compressed, std::uint32_t size)
{
    if (size == 0)
        return {};
    // A zlib stream header in front of the raw deflate data; no Adler-32 trailer is
    // looked for because inflating stops once `size` bytes have come out.
    QByteArray input = QByteArray("\x78\x9C", 2) + compressed;

    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        throw EZDecompressionError(QStringLiteral("Error"));
    stream.next_in = reinterpret_cast<Bytef *>(input.data());
    stream.avail_in = uInt(std::min<qint64>(input.size(), UINT_MAX));

    QByteArray output;
    qint64 produced = 0;
    int result = Z_OK;
    while (produced < size) {
        if (produced == output.size())
            output.resize(std::min<qint64>(size, std::max<qint64>(64 * 1024, output.size() * 2)));
        stream.next_out = reinterpret_cast<Bytef *>(output.data() + produced);
        stream.avail_out = uInt(output.size() - produced);
        result = inflate(&stream, Z_NO_FLUSH);
        produced = output.size() - stream.avail_out;
        if (result == Z_STREAM_END || result == Z_BUF_ERROR)
            break;
        if (result != Z_OK) {
            inflateEnd(&stream);
            throw EZDecompressionError(QStringLiteral("Error"));
        }
    }
    inflateEnd(&stream);
    if (produced < size)
        return {};
    return output;
}

} // namespace

void TZipFile::ReadArchive(const QByteArray &archive)
{
    QBuffer buffer;
    buffer.setData(archive);
    buffer.open(QIODevice::ReadOnly);
    ReadArchive(buffer);
}

void TZipFile::ReadArchive(QIODevice &stream)
{
    ArchiveReader reader(stream);

    // The first local header is looked for only at 4-byte steps from the start.
    std::uint32_t word = 0;
    do {
        word = reader.word();
        if (reader.atStreamEnd())
            return;
    } while (word != LocalFileSignature);

    while (word == LocalFileSignature) {
        TLocalFile entry;
        entry.signature = word;
        readCommonFields(entry, BlockFields(reader.block(26)));
        entry.fileName = reader.bytes(entry.fileNameLength);
        entry.extraField = reader.bytes(entry.extraFieldLength);
        entry.compressedData = reader.bytes(entry.compressedSize);
        m_entries.append(entry);
        m_fileHeaders.append(TFileHeader());
        word = reader.word();
    }

    // Records beyond the number of entries are read past but not kept.
    for (qsizetype record = 0; word == CentralDirSignature; ++record) {
        TFileHeader header;
        header.signature = word;
        header.versionMadeBy = BlockFields(reader.block(2)).u16();
        readCommonFields(header, BlockFields(reader.block(26)));
        BlockFields tail(reader.block(14));
        header.fileCommentLength = tail.u16();
        header.diskNumberStart = tail.u16();
        header.internalAttributes = tail.u16();
        header.externalAttributes = tail.u32();
        header.localHeaderOffset = tail.u32();
        header.fileName = reader.bytes(header.fileNameLength);
        header.extraField = reader.bytes(header.extraFieldLength);
        header.fileComment = reader.bytes(header.fileCommentLength);
        if (record < m_fileHeaders.size())
            m_fileHeaders[record] = header;
        word = reader.word();
    }

    if (word == EndOfCentralDirSignature) {
        m_endOfCentralDir.signature = word;
        BlockFields fields(reader.block(18));
        m_endOfCentralDir.diskNumber = fields.u16();
        m_endOfCentralDir.centralDirDisk = fields.u16();
        m_endOfCentralDir.entriesOnDisk = fields.u16();
        m_endOfCentralDir.totalEntries = fields.u16();
        m_endOfCentralDir.centralDirSize = fields.u32();
        m_endOfCentralDir.centralDirOffset = fields.u32();
        m_endOfCentralDir.commentLength = fields.u16();
        m_comment = reader.bytes(m_endOfCentralDir.commentLength);
    }
}

QByteArray TZipFile::ExtractEntry(int index) const
{
    if (index < 0 || index > EntryCount() - 1)
        throw Exception(QStringLiteral("Index out of range."));
    const TLocalFile &entry = m_entries.at(index);
    QByteArray content = inflateExactly(entry.compressedData, entry.uncompressedSize);
    // An entry cut short extracts to nothing, whose CRC 0 a damaged header may well claim.
    if (content.size() != qsizetype(entry.uncompressedSize) || ZipCrc32(content) != entry.crc32)
        throw EZipFileCRCError(QStringLiteral("CRC Error in \"%1\".").arg(QString::fromUtf8(entry.fileName)));
    return content;
}

std::uint32_t ZipCrc32(const QByteArray &bytes)
{
    return std::uint32_t(
        crc32_z(0, reinterpret_cast<const Bytef *>(bytes.constData()), size_t(bytes.size())));
}
