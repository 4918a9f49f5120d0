// File content for generated backups: the content hash the manifest records,
// the pseudo-random byte stream, and a description of a file's content that
// the writer can stream without holding it in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

namespace bkf::tools {

// 64-bit FNV-1a over the bytes. Chosen because anyone can recompute it in a few
// lines, and because a run of zero bytes only multiplies the state by the
// prime, so the hash of a multi-GiB run of zeros takes a handful of multiplies.
class ContentHasher {
public:
    static constexpr std::uint64_t kOffsetBasis = 0xCBF29CE484222325ULL;
    static constexpr std::uint64_t kPrime = 0x00000100000001B3ULL;

    void update(std::span<const std::uint8_t> bytes);
    void update(const void* data, std::size_t size);
    void updateZeros(std::uint64_t count);
    std::uint64_t value() const { return state_; }
    std::uint64_t bytesSeen() const { return length_; }

private:
    std::uint64_t state_ = kOffsetBasis;
    std::uint64_t length_ = 0;
};

std::uint64_t hashBytes(std::span<const std::uint8_t> bytes);
std::uint64_t hashBytes(std::string_view bytes);
// Hash of `count` zero bytes, without touching them.
std::uint64_t hashZeros(std::uint64_t count);
// Hash of `length` bytes of a file from `offset`, read in large pieces.
// Throws std::runtime_error when the file cannot be read that far.
std::uint64_t hashFileRange(const std::filesystem::path& file, std::uint64_t offset, std::uint64_t length);

// The pseudo-random byte stream of a seed: byte i is byte (i % 8) (least
// significant first) of randomWord(seed, i / 8). Any part of it can be made
// without the parts before it.
std::uint64_t randomWord(std::uint64_t seed, std::uint64_t index);
// Fills `out` with the stream's bytes from `offset` on.
void fillRandom(std::uint64_t seed, std::uint64_t offset, std::span<std::uint8_t> out);

// What a file holds.
class Content {
public:
    enum class Kind { Bytes, Random, Zeros };

    Content() = default;  // empty
    static Content bytes(std::vector<std::uint8_t> data);
    static Content text(std::string_view utf8);
    static Content random(std::uint64_t size, std::uint64_t seed);
    // Zeros are written by seeking where the sink can, so a 5 GiB file costs
    // neither disk nor time.
    static Content zeros(std::uint64_t size);

    Kind kind() const { return kind_; }
    std::uint64_t size() const { return size_; }
    std::uint64_t seed() const { return seed_; }
    const std::vector<std::uint8_t>& data() const { return data_; }

    // Bytes [offset, offset + out.size()) of the content; the range must lie within it.
    void read(std::uint64_t offset, std::span<std::uint8_t> out) const;
    // The whole content in memory; for tests on small files.
    std::vector<std::uint8_t> materialise() const;
    std::uint64_t hash() const;

private:
    Kind kind_ = Kind::Bytes;
    std::uint64_t size_ = 0;
    std::uint64_t seed_ = 0;
    std::vector<std::uint8_t> data_;
};

}  // namespace bkf::tools
