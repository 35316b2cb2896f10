#include "core/exceptions.h"

#include <cerrno>

ETarvolinError::ETarvolinError(const QString &message)
    : std::runtime_error(message.toStdString())
    , message_(message)
{ }

EInOutError::EInOutError(const QString &message, int errorCode)
    : ETarvolinError(message)
    , errorCode_(errorCode)
{ }

QString EInOutError::TextForErrno(int err)
{
    switch (err) {
    case ENOENT:
        return QStringLiteral("File not found");
    case ENOTDIR:
    case EISDIR:
    case ENAMETOOLONG:
    case EINVAL:
        return QStringLiteral("Invalid filename");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("Too many open files");
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("File access denied");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("Disk full");
    default:
        return QStringLiteral("I/O error %1").arg(err);
    }
}

EInOutError EInOutError::FromErrno(int err)
{
    return EInOutError(TextForErrno(err), err);
}

EFOpenError::EFOpenError(const QString &fileName)
    : ETarvolinError(QStringLiteral("Cannot open file %1").arg(fileName))
{ }

EFCreateError::EFCreateError(const QString &fileName)
    : ETarvolinError(QStringLiteral("Cannot create file %1").arg(fileName))
{ }
