// The system's one exception hierarchy. Every error carries a message text;
// handlers catch exactly the classes they are meant to handle.
#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// The general error class: every error that carries a message text.
class Exception : public std::exception {
public:
    explicit Exception(QString message);

    const QString& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8; // what() must not allocate
};

// Raised by the database-access facility; the connect steps catch it alone.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

// Raised by the bcrypt module.
class EBCryptException : public Exception {
public:
    using Exception::Exception;
};

// A text could not be converted (e.g. a password to UTF-8).
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// An operating-system call failed; carries the system's error code.
class EOSError : public Exception {
public:
    EOSError(QString message, int errorCode);

    int ErrorCode() const noexcept { return FErrorCode; }

private:
    int FErrorCode;
};
