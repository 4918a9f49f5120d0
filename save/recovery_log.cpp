#include "save/recovery_log.h"

#include <array>
#include <cstdlib>
#include <system_error>

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

RecoveryLog::~RecoveryLog() { flush(); }

void RecoveryLog::write(std::u16string_view line) {
    if (enabled()) appendUtf16Le(pending_, line);
}

void RecoveryLog::write(LogCode code) {
    // The scan writes two codes for almost every 512 bytes it examines.
    static const auto kLines = [] {
        std::array<std::string, 14> lines;
        for (int c = 1; c < 14; ++c) appendUtf16Le(lines[static_cast<std::size_t>(c)], logCodeLine(static_cast<LogCode>(c)));
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
