#include "export/CompoundFile.h"

#include "common/Exception.h"

#include <algorithm>
#include <iterator>
#include <QtEndian>

namespace {

constexpr int kSectorSize = 512;
constexpr int kEntrySize = 128;
constexpr int kIdsPerSector = kSectorSize / 4;
constexpr int kHeaderFatSlots = 109; // FAT sector numbers the header itself lists
constexpr int kSmallStreamLimit = 4096;

constexpr quint32 kFreeSector = 0xFFFFFFFF;
constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kFatSector = 0xFFFFFFFD;
constexpr quint32 kDifatSector = 0xFFFFFFFC;
constexpr quint32 kNoEntry = 0xFFFFFFFF;

int sectorsFor(qsizetype bytes)
{
    return int((bytes + kSectorSize - 1) / kSectorSize);
}

void put16(QByteArray &bytes, qsizetype at, quint16 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

void put32(QByteArray &bytes, qsizetype at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

// One directory entry: a name, its type (1 storage, 2 stream, 5 root), its child, its data.
QByteArray directoryEntry(const QString &name, quint8 type, quint32 child, quint32 start, quint32 size)
{
    QByteArray entry(kEntrySize, '\0');
    if (type == 0) {
        put32(entry, 68, kNoEntry);
        put32(entry, 72, kNoEntry);
        put32(entry, 76, kNoEntry);
        return entry;
    }
    for (qsizetype i = 0; i < name.size(); ++i)
        put16(entry, 2 * i, name[i].unicode());
    put16(entry, 64, quint16(2 * (name.size() + 1)));
    entry[66] = char(type);
    entry[67] = 1; // black: a tree of one entry per level needs no balancing
    put32(entry, 68, kNoEntry);
    put32(entry, 72, kNoEntry);
    put32(entry, 76, child);
    put32(entry, 116, start);
    put32(entry, 120, size);
    return entry;
}

} // namespace

QByteArray CompoundFileWithStream(const QString &streamName, QByteArray stream)
{
    if (streamName.isEmpty() || streamName.size() > 31)
        throw EConvertError(QStringLiteral("Invalid stream name \"%1\"").arg(streamName));
    if (stream.size() < kSmallStreamLimit)
        stream.append(kSmallStreamLimit - stream.size(), '\0');

    // Sectors in order: the stream, the directory, the FAT, the DIFAT (only past 109 FAT sectors).
    const int streamSectors = sectorsFor(stream.size());
    const int directorySectors = 1;
    int fatSectors = 0;
    int difatSectors = 0;
    for (;;) {
        const int total = streamSectors + directorySectors + fatSectors + difatSectors;
        const int neededFat = (total + kIdsPerSector - 1) / kIdsPerSector;
        const int neededDifat = neededFat > kHeaderFatSlots
                                    ? (neededFat - kHeaderFatSlots + kIdsPerSector - 2) / (kIdsPerSector - 1)
                                    : 0;
        if (neededFat == fatSectors && neededDifat == difatSectors)
            break;
        fatSectors = neededFat;
        difatSectors = neededDifat;
    }
    const quint32 directoryStart = quint32(streamSectors);
    const quint32 fatStart = directoryStart + directorySectors;
    const quint32 difatStart = fatStart + quint32(fatSectors);
    const int totalSectors = int(difatStart) + difatSectors;

    QByteArray file(kSectorSize * (1 + qsizetype(totalSectors)), '\0');

    // Header.
    static const unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::copy(std::begin(signature), std::end(signature), file.begin());
    put16(file, 0x18, 0x003E); // minor version
    put16(file, 0x1A, 0x0003); // major version 3: 512-byte sectors
    put16(file, 0x1C, 0xFFFE); // little-endian
    put16(file, 0x1E, 9);      // sectors of 2^9 bytes
    put16(file, 0x20, 6);      // small-stream sectors of 2^6 bytes
    put32(file, 0x2C, quint32(fatSectors));
    put32(file, 0x30, directoryStart);
    put32(file, 0x38, kSmallStreamLimit);
    put32(file, 0x3C, kEndOfChain); // no small-stream allocation table
    put32(file, 0x44, difatSectors ? difatStart : kEndOfChain);
    put32(file, 0x48, quint32(difatSectors));
    for (int i = 0; i < kHeaderFatSlots; ++i)
        put32(file, 0x4C + 4 * i, i < fatSectors ? fatStart + quint32(i) : kFreeSector);

    const auto sectorAt = [](quint32 sector) { return kSectorSize * (1 + qsizetype(sector)); };

    std::copy(stream.cbegin(), stream.cend(), file.begin() + sectorAt(0));

    QByteArray directory = directoryEntry(QStringLiteral("Root Entry"), 5, 1, kEndOfChain, 0);
    directory += directoryEntry(streamName, 2, kNoEntry, 0, quint32(stream.size()));
    directory += directoryEntry({}, 0, 0, 0, 0);
    directory += directoryEntry({}, 0, 0, 0, 0);
    std::copy(directory.cbegin(), directory.cend(), file.begin() + sectorAt(directoryStart));

    // The FAT: chains of the stream and the directory, then the marks of the FAT and DIFAT sectors.
    const qsizetype fat = sectorAt(fatStart);
    for (int sector = 0; sector < fatSectors * kIdsPerSector; ++sector) {
        quint32 next = kFreeSector;
        if (sector < streamSectors)
            next = sector + 1 < streamSectors ? quint32(sector + 1) : kEndOfChain;
        else if (quint32(sector) == directoryStart)
            next = kEndOfChain;
        else if (quint32(sector) >= fatStart && quint32(sector) < difatStart)
            next = kFatSector;
        else if (sector < totalSectors)
            next = kDifatSector;
        put32(file, fat + 4 * sector, next);
    }

    // The DIFAT sectors list the FAT sectors past the header's 109, each ending with the next one.
    for (int d = 0; d < difatSectors; ++d) {
        const qsizetype at = sectorAt(difatStart + quint32(d));
        for (int slot = 0; slot < kIdsPerSector - 1; ++slot) {
            const int fatIndex = kHeaderFatSlots + d * (kIdsPerSector - 1) + slot;
            put32(file, at + 4 * slot, fatIndex < fatSectors ? fatStart + quint32(fatIndex) : kFreeSector);
        }
        put32(file, at + 4 * (kIdsPerSector - 1),
              d + 1 < difatSectors ? difatStart + quint32(d + 1) : kEndOfChain);
    }
    return file;
}
