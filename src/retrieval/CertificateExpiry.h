#pragma once

#include <QDateTime>
#include <QString>

class ElX509Certificate;

// Client certificates expire every year or two; the first sign should not be a fetch that failed.
// Within this many days of its end, a certificate's date is announced.
constexpr int CertificateExpiryWarningDays = 30;

// True when the certificate's validity ends within CertificateExpiryWarningDays of now, or has ended.
bool expiresSoon(const ElX509Certificate &certificate, const QDateTime &now);

// The date a certificate's validity ends, as log lines and the setup check name it (yyyy-MM-dd, UTC).
QString expiryDateText(const ElX509Certificate &certificate);

// The log line of a certificate chosen for a member when it expires soon: "Certificate of member
// <member> (<subject>) expires on <date>", or "expired on" once the date has passed.
QString certificateExpiryLine(const QString &memberCode, const ElX509Certificate &certificate,
                              const QDateTime &now);
