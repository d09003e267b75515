#pragma once
// The program's failure hierarchy. A failure that no code handles where it
// happens is thrown as one of these and shown by the guard of the event
// handler it ended (see Guard.h); it must never cross Qt's event loop.

#include <QString>

#include <exception>
#include <string>

namespace platform {

class Failure : public std::exception {
public:
    explicit Failure(QString message);
    const QString& message() const { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    QString message_;
    std::string utf8_;
};

// A failed file-system step, carrying the program's error code (2 "File not
// found", 5 "File access denied", 101 "Disk full", ...).
class EInOutError : public Failure {
public:
    explicit EInOutError(int code);
    EInOutError(int code, QString message);
    int code() const { return code_; }

private:
    int code_;
};

// A text that should be a number and is not ("Cell does not contain a float value").
class EConvertError : public Failure {
public:
    using Failure::Failure;
};

// A list position outside its list: "List index out of bounds (%d)".
class EListError : public Failure {
public:
    explicit EListError(long long index);
    using Failure::Failure;
};

// The user text of an I/O error code: 2 "File not found", 3 "Invalid filename",
// 4 "Too many open files", 5 "File access denied", 100 "Read beyond end of file",
// 101 "Disk full", 106 "Invalid numeric input", any other "I/O error %d".
QString IoErrorText(int code);

// The one place where host errno values become the program's error codes.
int IoCodeFromErrno(int err);

// Throws EInOutError for a host errno value.
[[noreturn]] void RaiseIoError(int err);

// The text of the error box for a failure message: "." is appended when the
// message's last character sorts after ".".
QString ErrorBoxText(const QString& message);

}  // namespace platform
