#pragma once

#include <QString>

#include <stdexcept>

// Every failure that a handler does not test itself is one of these. The
// message is the exact text the operator sees in the application's error box;
// what() holds it as UTF-8.
class ETarvolinError : public std::runtime_error
{
public:
    explicit ETarvolinError(const QString &message);
    QString Message() const { return message_; }

private:
    QString message_;
};

// A number field that does not parse.
class EConvertError : public ETarvolinError
{
public:
    using ETarvolinError::ETarvolinError;
};

// A failed open, write or close of a device or file, with the text that
// belongs to the system's error number.
class EInOutError : public ETarvolinError
{
public:
    EInOutError(const QString &message, int errorCode);
    int ErrorCode() const { return errorCode_; }

    // "File not found", "File access denied", ... or "I/O error %d".
    static QString TextForErrno(int err);
    static EInOutError FromErrno(int err);

private:
    int errorCode_;
};

// "Cannot open file %s"
class EFOpenError : public ETarvolinError
{
public:
    explicit EFOpenError(const QString &fileName);
};

// "Cannot create file %s"
class EFCreateError : public ETarvolinError
{
public:
    explicit EFCreateError(const QString &fileName);
};

// An operation the operator stopped (see link/progress.h): how far it got.
class EOperationCancelled : public ETarvolinError
{
public:
    EOperationCancelled(const QString &message, qint64 doneBytes, qint64 totalBytes)
        : ETarvolinError(message)
        , doneBytes_(doneBytes)
        , totalBytes_(totalBytes)
    { }
    qint64 DoneBytes() const { return doneBytes_; }
    qint64 TotalBytes() const { return totalBytes_; }

private:
    qint64 doneBytes_;
    qint64 totalBytes_;
};
