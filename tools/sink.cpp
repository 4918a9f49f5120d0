#include "tools/sink.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>

namespace bkf::tools {

namespace {

// Zero runs shorter than this are written; longer ones are seeked over.
constexpr std::uint64_t kSeekThreshold = std::uint64_t{1} << 20;

}  // namespace

void MemorySink::write(std::span<const std::uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void MemorySink::skipZeros(std::uint64_t count) {
    bytes_.resize(bytes_.size() + static_cast<std::size_t>(count), 0);
}

FileSink::FileSink(const std::filesystem::path& file, std::size_t bufferSize)
    : path_(file), buffer_(std::max<std::size_t>(bufferSize, 4096)) {
    out_.open(file, std::ios::binary | std::ios::out | std::ios::trunc);
    if (!out_) throw std::runtime_error("cannot create " + file.string());
}

FileSink::~FileSink() {
    if (!closed_) {
        try {
            close();
        } catch (...) {
        }
    }
}

void FileSink::check(const char* what) {
    if (!out_) throw std::runtime_error(std::string("cannot ") + what + " " + path_.string());
}

void FileSink::write(std::span<const std::uint8_t> bytes) {
    if (used_ + bytes.size() > buffer_.size()) flush();
    if (bytes.size() >= buffer_.size()) {
        out_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        check("write to");
    } else if (!bytes.empty()) {
        std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
        used_ += bytes.size();
    }
    position_ += bytes.size();
}

void FileSink::skipZeros(std::uint64_t count) {
    if (count < kSeekThreshold) {
        while (count > 0) {
            if (used_ == buffer_.size()) flush();
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, buffer_.size() - used_));
            std::memset(buffer_.data() + used_, 0, n);
            used_ += n;
            position_ += n;
            count -= n;
        }
        return;
    }
    flush();
    position_ += count;
    out_.seekp(static_cast<std::streamoff>(position_));
    check("seek in");
}

void FileSink::flush() {
    if (used_ > 0) {
        out_.write(reinterpret_cast<const char*>(buffer_.data()), static_cast<std::streamsize>(used_));
        check("write to");
        used_ = 0;
    }
}

void FileSink::close() {
    if (closed_) return;
    closed_ = true;
    flush();
    out_.close();
    check("close");
    // A seek past the last byte written does not lengthen the file by itself.
    std::error_code ec;
    if (std::filesystem::file_size(path_, ec) < position_ && !ec) {
        std::filesystem::resize_file(path_, position_, ec);
    }
    if (ec) throw std::runtime_error("cannot set the length of " + path_.string());
}

}  // namespace bkf::tools
