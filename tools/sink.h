// Where the backup writer puts its bytes: a growing file or a byte vector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <vector>

namespace bkf::tools {

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(std::span<const std::uint8_t> bytes) = 0;
    // Moves forward over `count` zero bytes. A file sink seeks over long runs
    // and so leaves a hole in file systems that keep sparse files.
    virtual void skipZeros(std::uint64_t count) = 0;
    // Bytes written (or skipped) so far.
    virtual std::uint64_t position() const = 0;
    // Puts everything written so far where it belongs.
    virtual void flush() {}
};

class MemorySink final : public ByteSink {
public:
    void write(std::span<const std::uint8_t> bytes) override;
    void skipZeros(std::uint64_t count) override;
    std::uint64_t position() const override { return bytes_.size(); }

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// Writes a new file (replacing one there) through a large buffer. Errors throw
// std::runtime_error naming the file.
class FileSink final : public ByteSink {
public:
    explicit FileSink(const std::filesystem::path& file, std::size_t bufferSize = 4u << 20);
    ~FileSink() override;  // closes quietly; call close() to see errors
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    void write(std::span<const std::uint8_t> bytes) override;
    void skipZeros(std::uint64_t count) override;
    std::uint64_t position() const override { return position_; }
    void flush() override;
    // Flushes, closes, and gives the file its full length when it ends in skipped zeros.
    void close();

private:
    void check(const char* what);

    std::filesystem::path path_;
    std::ofstream out_;
    std::vector<std::uint8_t> buffer_;
    std::size_t used_ = 0;
    std::uint64_t position_ = 0;  // logical end, skipped zeros included
    bool closed_ = false;
};

}  // namespace bkf::tools
