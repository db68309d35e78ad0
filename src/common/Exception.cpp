#include "common/Exception.h"

#include <new>

Exception::Exception(const QString &message) : m_message(message), m_utf8(message.toUtf8()) {}

QString exceptionClassName(const std::exception &error)
{
    if (auto *own = dynamic_cast<const Exception *>(&error))
        return own->className();
    if (dynamic_cast<const std::bad_alloc *>(&error))
        return QStringLiteral("EOutOfMemory");
    return QStringLiteral("Exception");
}

QString exceptionMessage(const std::exception &error)
{
    if (auto *own = dynamic_cast<const Exception *>(&error))
        return own->message();
    return QString::fromLocal8Bit(error.what());
}

QString StepFailureMessage(const QString &marker, const std::exception &error)
{
    return QStringLiteral("Napaka ") + marker + QStringLiteral(": ") + exceptionClassName(error) + u'>' +
           exceptionMessage(error);
}

QString FetchFailureMessage(const std::exception &error)
{
    return QStringLiteral("Napaka: ") + exceptionClassName(error) + QStringLiteral(", sporočilo: ") +
           exceptionMessage(error);
}
