#pragma once

#include <QByteArray>

// The report envelope around the given header fields and body content, in UTF-8.
inline QByteArray reportXml(const QByteArray &body,
                            const QByteArray &header = "<StatusDate>2024-01-31</StatusDate>")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<WSResponse xmlns=\"urn:si:vorn:WSResponseSchema:Members\">\n  <Header>" +
           header + "</Header>\n  <Body>\n" + body + "\n  </Body>\n</WSResponse>\n";
}
