// The outcome of an operation that can fail as a whole: ok, or a message for
// the user that includes the system's reason ("cannot create x.ORMBKF: No
// space left on device"). Failures are values; nothing is thrown across the
// core's interfaces.
#pragma once

#include <string>
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

// The system's text for an errno-style error code.
std::string systemErrorText(int error);

}  // namespace bkf
