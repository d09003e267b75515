#pragma once
// The result of a file-system step: a value, or the error that stopped it.
// An error carries the host errno and the step that failed, so the caller
// can word it (a status word, a user text) without asking a global later.

#include <cerrno>
#include <cstdint>
#include <optional>
#include <utility>
#include <variant>

namespace platform {

// Where a file operation failed. A copy tells its source's steps from its
// target's, which is what decides between "Source Error" and "Target Error".
enum class Step : std::uint8_t {
    Resolve,  // no drive holds the path
    Examine,  // stat and the like
    Open,     // opening an existing file or directory
    Read,
    Write,
    Create,  // a new file or directory
    Close,   // the data may not have reached the disk
    Link,    // naming an unnamed file
    Rename,
    Delete,
    SourceChanged,  // a moved source is no longer the file that was copied
    SameFile,       // the target is the source under another name
    TargetRefused,  // read-only, or not a regular file
};

struct OsError {
    int code = 0;  // host errno
    Step step = Step::Examine;
};

// errno as it is now, at the given step.
inline OsError Errno(Step step) {
    return {errno, step};
}

template <class T, class E = OsError>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : v_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& operator*() { return std::get<0>(v_); }
    const T& operator*() const { return std::get<0>(v_); }
    T* operator->() { return &std::get<0>(v_); }
    const T* operator->() const { return &std::get<0>(v_); }
    const E& error() const { return std::get<1>(v_); }

private:
    std::variant<T, E> v_;
};

template <class E>
class [[nodiscard]] Result<void, E> {
public:
    Result() = default;
    Result(E error) : error_(std::move(error)) {}

    bool ok() const { return !error_; }
    explicit operator bool() const { return ok(); }
    const E& error() const { return *error_; }

private:
    std::optional<E> error_;
};

}  // namespace platform
