#include "platform/Errors.h"

#include <cerrno>

namespace platform {

Failure::Failure(QString message) : message_(std::move(message)), utf8_(message_.toStdString()) {}

EInOutError::EInOutError(int code) : Failure(IoErrorText(code)), code_(code) {}

EInOutError::EInOutError(int code, QString message) : Failure(std::move(message)), code_(code) {}

EListError::EListError(long long index)
    : Failure(QStringLiteral("List index out of bounds (%1)").arg(index)) {}

QString IoErrorText(int code) {
    switch (code) {
        case 2:
            return QStringLiteral("File not found");
        case 3:
            return QStringLiteral("Invalid filename");
        case 4:
            return QStringLiteral("Too many open files");
        case 5:
            return QStringLiteral("File access denied");
        case 100:
            return QStringLiteral("Read beyond end of file");
        case 101:
            return QStringLiteral("Disk full");
        case 106:
            return QStringLiteral("Invalid numeric input");
        default:
            return QStringLiteral("I/O error %1").arg(code);
    }
}

int IoCodeFromErrno(int err) {
    switch (err) {
        case ENOENT:
            return 2;
        case ENOTDIR:
        case ENAMETOOLONG:
        case EINVAL:
        case ELOOP:
            return 3;
        case EMFILE:
        case ENFILE:
            return 4;
        case EACCES:
        case EPERM:
        case EROFS:
        case EBUSY:
        case ETXTBSY:
        case EISDIR:
            return 5;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return 101;
        case 0:
            return 0;
        // Anything else keeps a code of its own, far from the codes above.
        default:
            return 1000 + err;
    }
}

void RaiseIoError(int err) {
    throw EInOutError(IoCodeFromErrno(err));
}

QString ErrorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back() > QChar(u'.')) return message + u'.';
    return message;
}

}  // namespace platform
