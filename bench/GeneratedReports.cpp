#include "GeneratedReports.h"

#include <QByteArray>
#include <QFile>
#include <stdexcept>

QString securityIsin(int index)
{
    return QStringLiteral("XS%1").arg(index, 10, 10, QLatin1Char('0'));
}

QString reportIsin(int position)
{
    const int index = int((qint64(position) * 7919) % kDistinctIsins);
    return index < kMissingIsins ? QStringLiteral("ZZ%1").arg(index, 10, 10, QLatin1Char('0'))
                                 : securityIsin(index);
}

void generatePositionsReport(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write the report");
    QByteArray chunk;
    chunk += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<WSResponse xmlns=\"urn:si:vorn:WSResponseSchema:Members\">\n"
             "  <Header>\n    <GUID>bench</GUID>\n    <TimeStamp>2024-01-16T06:00:00</TimeStamp>\n"
             "    <StatusDate>2024-01-15</StatusDate>\n  </Header>\n"
             "  <Body>\n    <MemberAccountPositions>\n      <MemberCode>BENCH</MemberCode>\n";
    for (int i = 0; i < kPositions; ++i) {
        const QByteArray account = QByteArray::number(1'000'000 + i % 50'000);
        chunk += "      <MemberAccountPosition>\n        <AccountNumber>" + account +
                 "</AccountNumber>\n        <RawAccountNumber>" + account +
                 "</RawAccountNumber>\n        <IBAN>SI56" + account + "</IBAN>\n        <IsinCode>" +
                 reportIsin(i).toLatin1() + "</IsinCode>\n        <TotalVolume>" +
                 QByteArray::number(1 + i % 100'000) + "</TotalVolume>\n        <AvailableVolume>" +
                 QByteArray::number(1 + i % 90'000) + "</AvailableVolume>\n        <FrozenVolume>" +
                 QByteArray::number(i % 7 == 0 ? -(i % 13) : i % 10) +
                 "</FrozenVolume>\n        <LastChangeDateTime>2023-" + QByteArray::number(10 + i % 3) +
                 "-1" + QByteArray::number(i % 10) +
                 "T10:15:30</LastChangeDateTime>\n      </MemberAccountPosition>\n";
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    chunk += "    </MemberAccountPositions>\n  </Body>\n</WSResponse>\n";
    file.write(chunk);
}
