// The errors the program raises on purpose: one base carrying the message, a class per kind.
#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// Base of every error the program raises on purpose.
class Exception : public std::exception {
public:
    explicit Exception(QString message);
    const QString& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};

class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};
class EInvalidGraphicOperation : public Exception {
public:
    using Exception::Exception;
};
// A short read of a stream: the data ends before the structure it should hold.
class EReadError : public Exception {
public:
    EReadError() : Exception(QStringLiteral("Stream read error")) {}
    using Exception::Exception;
};
class EWriteError : public Exception {
public:
    EWriteError() : Exception(QStringLiteral("Stream write error")) {}
    using Exception::Exception;
};
// A graphic cannot be assigned to or copied into an object of another kind.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};
