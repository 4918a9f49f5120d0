#include "engine/recovery_log.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>

#include "base/text.h"

namespace bkf {

namespace {

void appendUtf16Le(std::string& bytes, std::u16string_view text) {
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
}

}  // namespace

std::u16string logCodeLine(LogCode code) {
    const int n = static_cast<int>(code);
    std::u16string line = u"SUCC 0000\r\n";
    line[5] = static_cast<char16_t>(u'0' + n / 1000 % 10);
    line[6] = static_cast<char16_t>(u'0' + n / 100 % 10);
    line[7] = static_cast<char16_t>(u'0' + n / 10 % 10);
    line[8] = static_cast<char16_t>(u'0' + n % 10);
    return line;
}

std::u16string logCodeLine(LogCode code, std::u16string_view text) {
    std::u16string line = logCodeLine(code);
    line.resize(line.size() - 2);
    line += u' ';
    line += text;
    line += u"\r\n";
    return line;
}

std::u16string logCodeLine(LogCode code, std::uint64_t offset) {
    const std::string digits = std::to_string(offset);
    return logCodeLine(code, std::u16string(digits.begin(), digits.end()));
}

std::u16string logPathLine(std::u16string_view backupPath) {
    std::u16string line(backupPath);
    line += u"\r\n";
    return line;
}

std::filesystem::path defaultLogPath() {
#ifdef _WIN32
    return std::filesystem::path(L"c:\\OrmBkf.log");
#else
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / "OrmBkf.log";
#endif
}

Status checkLogFile(const std::filesystem::path& log) {
    const std::string shown = pathText(log);
    std::error_code ec;
    const auto status = std::filesystem::status(log, ec);
    if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
        !std::filesystem::is_character_file(status)) {
        // A FIFO would hold the open for ever; a folder or a socket takes no lines.
        return Status::failure("cannot use the log " + shown + ": it is not a regular file");
    }
    errno = 0;
    std::ofstream out(log, std::ios::binary | std::ios::app);
    if (!out) {
        return Status::failure("cannot write the log " + shown +
                               (errno != 0 ? ": " + systemErrorText(errno) : std::string()));
    }
    return {};
}

void deleteOldLog(const std::filesystem::path& log) {
    std::error_code ec;
    std::filesystem::remove(log, ec);
}

bool writeLogLine(const std::filesystem::path& log, std::u16string_view line) {
    std::ofstream out(log, std::ios::binary | std::ios::app);
    if (!out) return false;
    std::string bytes;
    appendUtf16Le(bytes, line);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

RecoveryLog::RecoveryLog(std::filesystem::path log, const std::atomic<bool>* enabled)
    : path_(std::move(log)), enabled_(enabled) {}

RecoveryLog::~RecoveryLog() {
    flush();
}

void RecoveryLog::write(std::u16string_view line) {
    if (enabled()) appendUtf16Le(pending_, line);
}

void RecoveryLog::write(LogCode code) {
    // The scan writes two codes for almost every 512 bytes it examines.
    static const auto kLines = [] {
        std::array<std::string, 14> lines;
        for (int c = 1; c < 14; ++c)
            appendUtf16Le(lines[static_cast<std::size_t>(c)], logCodeLine(static_cast<LogCode>(c)));
        return lines;
    }();
    if (!enabled()) return;
    const auto index = static_cast<std::size_t>(code);
    if (index < kLines.size() && !kLines[index].empty()) {
        pending_ += kLines[index];
    } else {
        write(logCodeLine(code));
    }
}

void RecoveryLog::flush() {
    if (pending_.empty()) return;
    if (!out_.is_open()) {
        out_.clear();
        out_.open(path_, std::ios::binary | std::ios::app);
    }
    if (out_.is_open()) {
        out_.write(pending_.data(), static_cast<std::streamsize>(pending_.size()));
        out_.flush();
        if (!out_) {
            // Drop what could not be written and try afresh next time.
            out_.close();
            out_.clear();
        }
    }
    pending_.clear();
}

}  // namespace bkf
