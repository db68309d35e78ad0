#pragma once

#include <QByteArray>
#include <QRandomGenerator>

// Bytes that do not compress, the same for the same seed: report bodies large enough to arrive in
// several pieces.
inline QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator generator(seed);
    for (char &byte : bytes)
        byte = char(generator.bounded(256));
    return bytes;
}
