#pragma once

#include "retrieval/ZipFile.h"

#include <QByteArray>
#include <QList>
#include <QtEndian>
#include <zlib.h>

// Raw deflate data (no zlib header), as zip archives hold it.
inline QByteArray rawDeflate(const QByteArray &content)
{
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray output(int(deflateBound(&stream, uLong(content.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(content.constData()));
    stream.avail_in = uInt(content.size());
    stream.next_out = reinterpret_cast<Bytef *>(output.data());
    stream.avail_out = uInt(output.size());
    deflate(&stream, Z_FINISH);
    output.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return output;
}

// Writes archives field by field, so that each header can carry whatever a hostile
// archive claims.
struct ArchiveBytes
{
    QByteArray bytes;

    ArchiveBytes &u16(quint16 value)
    {
        char raw[2];
        qToLittleEndian(value, raw);
        bytes.append(raw, 2);
        return *this;
    }
    ArchiveBytes &u32(quint32 value)
    {
        char raw[4];
        qToLittleEndian(value, raw);
        bytes.append(raw, 4);
        return *this;
    }
    ArchiveBytes &raw(const QByteArray &data)
    {
        bytes += data;
        return *this;
    }

    struct Entry
    {
        QByteArray name;
        QByteArray data; // as stored in the archive
        quint32 crc = 0;
        quint32 uncompressedSize = 0;
        quint16 method = 8;
    };

    static Entry deflated(const QByteArray &name, const QByteArray &content)
    {
        return {name, rawDeflate(content), ZipCrc32(content), quint32(content.size()), 8};
    }

    ArchiveBytes &localHeader(const Entry &entry)
    {
        u32(0x04034B50).u16(20).u16(0).u16(entry.method).u32(0).u32(entry.crc);
        u32(quint32(entry.data.size())).u32(entry.uncompressedSize);
        u16(quint16(entry.name.size())).u16(0);
        return raw(entry.name).raw(entry.data);
    }
    ArchiveBytes &centralRecord(const Entry &entry)
    {
        u32(0x02014B50).u16(20).u16(20).u16(0).u16(entry.method).u32(0).u32(entry.crc);
        u32(quint32(entry.data.size())).u32(entry.uncompressedSize);
        u16(quint16(entry.name.size())).u16(0).u16(0).u16(0).u16(0).u32(0).u32(0);
        return raw(entry.name);
    }
    ArchiveBytes &endRecord(quint16 entries, const QByteArray &comment)
    {
        u32(0x06054B50).u16(0).u16(0).u16(entries).u16(entries).u32(0).u32(0);
        return u16(quint16(comment.size())).raw(comment);
    }

    // A whole archive of deflated entries: local headers, central directory and end record.
    static QByteArray zip(const QList<Entry> &entries)
    {
        ArchiveBytes archive;
        for (const Entry &entry : entries)
            archive.localHeader(entry);
        for (const Entry &entry : entries)
            archive.centralRecord(entry);
        return archive.endRecord(quint16(entries.size()), {}).bytes;
    }
};
