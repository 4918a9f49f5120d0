#include "tools/content.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace bkf::tools {

namespace {

constexpr std::size_t kPieceSize = std::size_t{1} << 20;

std::uint64_t mulPow(std::uint64_t base, std::uint64_t exponent) {
    std::uint64_t result = 1;
    while (exponent != 0) {
        if (exponent & 1) result *= base;
        base *= base;
        exponent >>= 1;
    }
    return result;
}

}  // namespace

void ContentHasher::update(std::span<const std::uint8_t> bytes) {
    std::uint64_t h = state_;
    for (const std::uint8_t b : bytes) {
        h ^= b;
        h *= kPrime;
    }
    state_ = h;
    length_ += bytes.size();
}

void ContentHasher::update(const void* data, std::size_t size) {
    update(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), size));
}

void ContentHasher::updateZeros(std::uint64_t count) {
    // XOR with a zero byte changes nothing, so each zero byte is one multiply.
    state_ *= mulPow(kPrime, count);
    length_ += count;
}

std::uint64_t hashBytes(std::span<const std::uint8_t> bytes) {
    ContentHasher h;
    h.update(bytes);
    return h.value();
}

std::uint64_t hashBytes(std::string_view bytes) {
    ContentHasher h;
    h.update(bytes.data(), bytes.size());
    return h.value();
}

std::uint64_t hashZeros(std::uint64_t count) {
    ContentHasher h;
    h.updateZeros(count);
    return h.value();
}

std::uint64_t hashFileRange(const std::filesystem::path& file, std::uint64_t offset, std::uint64_t length) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + file.string());
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<char> buffer(kPieceSize);
    ContentHasher h;
    while (length > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(length, buffer.size()));
        in.read(buffer.data(), static_cast<std::streamsize>(want));
        if (static_cast<std::size_t>(in.gcount()) != want) {
            throw std::runtime_error("cannot read " + file.string() + " up to byte " + std::to_string(offset + length));
        }
        h.update(buffer.data(), want);
        length -= want;
    }
    return h.value();
}

std::uint64_t randomWord(std::uint64_t seed, std::uint64_t index) {
    // splitmix64 at position index + 1 of the sequence started at `seed`.
    std::uint64_t z = seed + (index + 1) * 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

void fillRandom(std::uint64_t seed, std::uint64_t offset, std::span<std::uint8_t> out) {
    std::size_t i = 0;
    std::uint64_t word = offset / 8;
    // A leading partial word.
    if (offset % 8 != 0 && !out.empty()) {
        const std::uint64_t w = randomWord(seed, word++);
        for (auto k = static_cast<unsigned>(offset % 8); k < 8 && i < out.size(); ++k) {
            out[i++] = static_cast<std::uint8_t>(w >> (8 * k));
        }
    }
    // Whole words.
    for (; out.size() - i >= 8; i += 8) {
        const std::uint64_t w = randomWord(seed, word++);
        std::uint8_t le[8];
        for (unsigned k = 0; k < 8; ++k) le[k] = static_cast<std::uint8_t>(w >> (8 * k));
        std::memcpy(out.data() + i, le, 8);
    }
    // A trailing partial word.
    if (i < out.size()) {
        const std::uint64_t w = randomWord(seed, word);
        for (unsigned k = 0; i < out.size(); ++k) out[i++] = static_cast<std::uint8_t>(w >> (8 * k));
    }
}

Content Content::bytes(std::vector<std::uint8_t> data) {
    Content c;
    c.kind_ = Kind::Bytes;
    c.size_ = data.size();
    c.data_ = std::move(data);
    return c;
}

Content Content::text(std::string_view utf8) {
    return bytes(std::vector<std::uint8_t>(utf8.begin(), utf8.end()));
}

Content Content::random(std::uint64_t size, std::uint64_t seed) {
    Content c;
    c.kind_ = Kind::Random;
    c.size_ = size;
    c.seed_ = seed;
    return c;
}

Content Content::zeros(std::uint64_t size) {
    Content c;
    c.kind_ = Kind::Zeros;
    c.size_ = size;
    return c;
}

void Content::read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (offset > size_ || out.size() > size_ - offset) {
        throw std::out_of_range("content read past its end");
    }
    switch (kind_) {
        case Kind::Bytes:
            std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
            break;
        case Kind::Random:
            fillRandom(seed_, offset, out);
            break;
        case Kind::Zeros:
            std::fill(out.begin(), out.end(), std::uint8_t{0});
            break;
    }
}

std::vector<std::uint8_t> Content::materialise() const {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(size_));
    read(0, out);
    return out;
}

std::uint64_t Content::hash() const {
    switch (kind_) {
        case Kind::Bytes:
            return hashBytes(data_);
        case Kind::Zeros:
            return hashZeros(size_);
        case Kind::Random:
            break;
    }
    ContentHasher h;
    std::vector<std::uint8_t> piece(static_cast<std::size_t>(std::min<std::uint64_t>(size_, kPieceSize)));
    for (std::uint64_t at = 0; at < size_; at += piece.size()) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size_ - at, piece.size()));
        fillRandom(seed_, at, std::span(piece.data(), n));
        h.update(piece.data(), n);
    }
    return h.value();
}

}  // namespace bkf::tools
