#pragma once

#include "ReportXml.h"

#include <optional>
#include <QByteArray>
#include <QList>
#include <utility>

// Builders for the reports that converter tests read and the records they expect.

// Child elements by name, in order; a value of nullopt leaves the element out.
using XmlElements = QList<std::pair<QByteArray, std::optional<QByteArray>>>;

// The defaults with the changes applied: a change replaces the default of its name or is added.
inline QByteArray xmlElements(XmlElements defaults, const XmlElements &changes)
{
    for (const auto &change : changes) {
        auto same = std::find_if(defaults.begin(), defaults.end(),
                                 [&change](const auto &element) { return element.first == change.first; });
        if (same != defaults.end())
            same->second = change.second;
        else
            defaults.append(change);
    }
    QByteArray xml;
    for (const auto &[name, value] : std::as_const(defaults)) {
        if (value)
            xml += "<" + name + ">" + *value + "</" + name + ">";
    }
    return xml;
}

// The record a test expects, written field by field independently of the converters' builder.
// Text is given in the bytes of the import file (Windows-1250).
class ExpectedRecord
{
public:
    ExpectedRecord &left(QByteArray text, int width)
    {
        text.truncate(width);
        m_bytes += text + QByteArray(width - text.size(), ' ');
        return *this;
    }
    ExpectedRecord &right(QByteArray text, int width)
    {
        text.truncate(width);
        m_bytes += QByteArray(width - text.size(), ' ') + text;
        return *this;
    }
    ExpectedRecord &blank(int width) { return left(QByteArray(), width); }
    ExpectedRecord &raw(const QByteArray &bytes)
    {
        m_bytes += bytes;
        return *this;
    }

    QByteArray bytes() const { return m_bytes; }
    QByteArray line() const { return m_bytes + "\r\n"; }

private:
    QByteArray m_bytes;
};
