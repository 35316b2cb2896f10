#pragma once

#include <QString>

#include <stdexcept>

// What a failure concerns, beyond its fixed message: which device, file,
// printer or field, and the system's own words. The error box turns these
// into the message's informative text with a hint (see ErrorAdvice).
struct ErrorParticulars
{
    enum class Subject {
        None,
        SerialDevice,
        ParallelDevice,
        File,
        NetworkPrinter,
        InstalledPrinter,
        Field
    };
    Subject subject = Subject::None;
    // Device path, full file path, "address:port", queue name or field caption.
    QString name;
    // The errno of the call that failed; 0 when none did.
    int systemError = 0;
    // The system's reason where it is not an errno (a print server's words).
    QString reason;
};

// Every failure that a handler does not test itself is one of these. The
// message is the exact text the operator sees in the application's error box;
// what() holds it as UTF-8.
class ETarvolinError : public std::runtime_error
{
public:
    explicit ETarvolinError(const QString &message);
    QString Message() const { return message_; }

    const ErrorParticulars &Particulars() const { return particulars_; }
    void SetParticulars(ErrorParticulars particulars) { particulars_ = std::move(particulars); }

private:
    QString message_;
    ErrorParticulars particulars_;
};

// Throws an error with its particulars attached: throw With(EFoo(...), {...}).
template<class E> E With(E error, ErrorParticulars particulars)
{
    error.SetParticulars(std::move(particulars));
    return error;
}

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

// A failure the handler is specified to test itself ("Connect error", "You
// must select COM port!!"): shown exactly as written in a message box with
// OK, not in the error box.
class EHandlerMessage : public ETarvolinError
{
public:
    using ETarvolinError::ETarvolinError;
};

// A read-back asked of an interface that carries data one way only.
class EOneWayInterface : public ETarvolinError
{
public:
    using ETarvolinError::ETarvolinError;
};

// A network printer that took the connection but did not answer: it serves
// one client at a time, and another may hold it. Not the same as one that
// cannot be reached.
class EPrinterBusy : public ETarvolinError
{
public:
    using ETarvolinError::ETarvolinError;
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
