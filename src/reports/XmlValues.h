#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <string_view>

// Conversions between the text of a report element and the value types of its properties.
// A text that does not hold a value of the type fails with EConvertError. Surrounding white
// space is allowed, as the schema's integer and boolean types collapse it.
namespace XmlValues {

// Whether a UTF-8 text is ASCII, which reads the same in Latin-1 and in Windows-1250.
bool isAscii(std::string_view utf8);

// The text of an element as Unicode.
QString toText(const char *utf8);

qint32 toInteger(const char *text);
// Read as a 64-bit whole number, of which the low 32 bits make the value.
quint32 toUnsigned(const char *text);
// "true" or "false", letter case ignored.
bool toBoolean(const char *text);

QByteArray fromBoolean(bool value);

// The failure of reading a number or boolean from an empty element: `typeName` is the wanted
// type ("Integer", "Int64", "Boolean", "OleStr").
[[noreturn]] void throwNull(const char *typeName);

} // namespace XmlValues
