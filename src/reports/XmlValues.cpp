#include "reports/XmlValues.h"

#include "common/Exception.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <string_view>

namespace XmlValues {

namespace {

std::string_view trimmed(const char *text)
{
    std::string_view view(text);
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!view.empty() && isSpace(view.front()))
        view.remove_prefix(1);
    while (!view.empty() && isSpace(view.back()))
        view.remove_suffix(1);
    return view;
}

[[noreturn]] void throwNotA(const char *text, const char *what)
{
    throw EConvertError(QStringLiteral("'%1' is not a valid %2 value").arg(QString::fromUtf8(text), what));
}

template<class T> T parseWhole(const char *text)
{
    std::string_view view = trimmed(text);
    if (!view.empty() && view.front() == '+' && view.size() > 1 && view[1] != '-')
        view.remove_prefix(1);
    T value{};
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (view.empty() || error == std::errc::invalid_argument || end != view.data() + view.size())
        throwNotA(text, "integer");
    if (error == std::errc::result_out_of_range)
        throw EConvertError(QStringLiteral("'%1' is out of the range of type (%2)")
                                .arg(QString::fromUtf8(text), sizeof(T) == 4 ? "Integer" : "Int64"));
    return value;
}

} // namespace

qint32 toInteger(const char *text)
{
    return parseWhole<qint32>(text);
}

quint32 toUnsigned(const char *text)
{
    return static_cast<quint32>(static_cast<quint64>(parseWhole<qint64>(text)));
}

bool toBoolean(const char *text)
{
    const std::string_view view = trimmed(text);
    const auto equalsIgnoringCase = [view](std::string_view word) {
        return qstrnicmp(view.data(), view.size(), word.data(), word.size()) == 0;
    };
    if (equalsIgnoringCase("true"))
        return true;
    if (equalsIgnoringCase("false"))
        return false;
    throwNotA(text, "boolean");
}

QByteArray fromBoolean(bool value)
{
    return value ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
}

void throwNull(const char *typeName)
{
    throw EVariantTypeCastError(QStringLiteral("Could not convert variant of type (Null) into type (%1)")
                                    .arg(QLatin1String(typeName)));
}

} // namespace XmlValues
