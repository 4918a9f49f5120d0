// The outcome of an operation that can fail as a whole: ok, or a message for
// the user that includes the system's reason ("cannot create x.ORMBKF: No
// space left on device"). Failures are values; nothing is thrown across the
// core's interfaces.
#pragma once

#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace bkf {

class Status {
public:
    Status() = default;
    static Status failure(std::string message) { return Status(std::move(message)); }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& message() const { return message_; }

private:
    explicit Status(std::string message) : message_(std::move(message)), failed_(true) {}
    std::string message_;
    bool failed_ = false;
};

// A value, or the failure that kept it from being made: what an operation
// that makes something returns (an opened backup, a created file). `Error`
// is a Status unless the caller needs more than a message (the output file
// system's error says whether a name is taken or the disk is full).
template <class T, class Error = Status>
class Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Error error) : error_(std::move(error)) {}
    // A value of a type that converts to T (a pointer to a derived class).
    template <class U>
    requires(std::is_convertible_v<U&&, T> && !std::is_same_v<std::remove_cvref_t<U>, T> &&
             !std::is_same_v<std::remove_cvref_t<U>, Error>) Result(U&& value)
        : value_(std::in_place, std::forward<U>(value)) {}

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    // The failure (a default Error when there is a value).
    const Error& error() const { return error_; }

private:
    std::optional<T> value_;
    Error error_;
};

// The system's text for an errno-style error code.
std::string systemErrorText(int error);

}  // namespace bkf
