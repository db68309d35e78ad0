#pragma once

#include <exception>
#include <QByteArray>
#include <QString>

// Root of every error the system raises. Messages shown to the operator print the
// class name (for example "Napaka 13: EDatabaseError>..."), so each class reports its own.
class Exception : public std::exception
{
public:
    explicit Exception(const QString &message);

    const QString &message() const { return m_message; }
    virtual QString className() const { return QStringLiteral("Exception"); }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Declares an exception class that reports its own name.
#define VORN_DECLARE_EXCEPTION(Name, Base)                                                                   \
    class Name : public Base                                                                                 \
    {                                                                                                        \
    public:                                                                                                  \
        using Base::Base;                                                                                    \
        QString className() const override { return QStringLiteral(#Name); }                                 \
    };

VORN_DECLARE_EXCEPTION(EDatabaseError, Exception)
VORN_DECLARE_EXCEPTION(EConvertError, Exception)
VORN_DECLARE_EXCEPTION(EVariantTypeCastError, Exception)
VORN_DECLARE_EXCEPTION(EIntfCastError, Exception)
VORN_DECLARE_EXCEPTION(EXMLDocError, Exception)
VORN_DECLARE_EXCEPTION(EFOpenError, Exception)
VORN_DECLARE_EXCEPTION(EFCreateError, Exception)
VORN_DECLARE_EXCEPTION(EInOutError, Exception)

// The class name of any caught exception, for the message forms that print it.
QString exceptionClassName(const std::exception &error);

// The message of any caught exception.
QString exceptionMessage(const std::exception &error);

// The box of a failed start-up step: "Napaka <marker>: <class>><message>".
QString StepFailureMessage(const QString &marker, const std::exception &error);

// The box of a failed fetch: "Napaka: <class>, sporočilo: <message>".
QString FetchFailureMessage(const std::exception &error);
