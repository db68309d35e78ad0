#pragma once

#include <QByteArray>
#include <QString>

// A compound document (the container of .xls files) that holds exactly one stream under the
// root storage, in 512-byte sectors. The stream is padded to the container's 4096-byte limit
// of small streams with zero bytes, as spreadsheet applications do, so that it never needs the
// separate allocation of small streams. Throws EConvertError for a stream name longer than
// 31 characters.
QByteArray CompoundFileWithStream(const QString &streamName, QByteArray stream);
