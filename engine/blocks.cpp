#include "engine/blocks.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define BKF_HAVE_SSE2 1
#endif
// AVX2 or AVX-512BW where the compiler can build them for one function and
// the processor has them (asked at run time).
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define BKF_HAVE_AVX2 1
#endif

#include "engine/tape_format.h"

namespace bkf {

namespace {

constexpr std::array<const char*, kTapeBlockIdCount> kIdNames = {
    "TAPE", "SFMB", "SSET", "VOLB", "DIRB", "FILE", "ESET", "EOTM", "CFIL", "ESPB",
    "TSMP", "TFDD", "NACL", "NTQU", "CSUM", "STAN", "SPAD", "FEND", "NTOI",
};

bool isLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

// Days from 1970-01-01 to the given proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// Decodes a name's bytes [offset, offset + size), already bounds-checked.
void decodeName(const std::uint8_t* p, std::size_t size, std::u16string& out) {
    out.clear();
    const std::size_t units = size / 2;
    out.reserve(std::min(units, kTapeNameMaxUnits));
    for (std::size_t i = 0; i < units && out.size() < kTapeNameMaxUnits; ++i) {
        const auto cu = static_cast<char16_t>(mtf::load16(p + 2 * i));
        // NUL separators become backslashes; nothing else is touched, so a
        // character such as U+4E00 keeps its value.
        out.push_back(cu == 0 ? u'\\' : cu);
    }
    // An odd size leaves half a code unit: its low byte with a zero high byte,
    // which ends the text when it is zero itself.
    if (size % 2 == 1 && out.size() < kTapeNameMaxUnits && p[size - 1] != 0) {
        out.push_back(static_cast<char16_t>(p[size - 1]));
    }
}

}  // namespace

const char* tapeBlockIdName(TapeBlockId id) {
    const auto i = static_cast<int>(id);
    return i >= 0 && i < kTapeBlockIdCount ? kIdNames[static_cast<std::size_t>(i)] : "????";
}

int identifyBlock(ByteSpan bytes) {
    if (bytes.size() < 6) return kUnknownBlock;
    if (mtf::load32(bytes.data()) == 0) return kEmptySlot;
    if (bytes[4] != 0 || bytes[5] != 0) return kUnknownBlock;
    for (int i = 0; i < kTapeBlockIdCount; ++i) {
        if (std::memcmp(bytes.data(), kIdNames[static_cast<std::size_t>(i)], 4) == 0) return i;
    }
    return kUnknownBlock;
}

TapeDate decodeTapeDate(ByteSpan bytes) {
    TapeDate d;
    if (bytes.size() < mtf::kTapeDateSize) return d;
    const unsigned b0 = bytes[0], b1 = bytes[1], b2 = bytes[2], b3 = bytes[3], b4 = bytes[4];
    d.year = static_cast<int>(b0 * 64 + (b1 >> 2));
    d.month = static_cast<int>(((b1 * 4) & 0x0F) + (b2 >> 6));
    d.day = static_cast<int>((b2 >> 1) & 0x1F);
    d.hour = static_cast<int>((b3 >> 4) + ((b2 & 1) ? 16 : 0));
    d.minute = static_cast<int>(((b3 * 4) & 0x3F) + (b4 >> 6));
    d.second = static_cast<int>(b4 & 0x3F);
    return d;
}

FileTime tapeDateToFileTime(const TapeDate& d) {
    if (d.year < 1601 || d.month < 1 || d.month > 12 || d.day < 1 || d.day > daysInMonth(d.year, d.month) ||
        d.hour > 23 || d.minute > 59 || d.second > 59) {
        return 0;
    }
    const std::int64_t days = daysFromCivil(d.year, static_cast<unsigned>(d.month), static_cast<unsigned>(d.day));
    const std::int64_t seconds = days * 86400 + d.hour * 3600 + d.minute * 60 + d.second + kFileTimeUnixEpochSeconds;
    return static_cast<FileTime>(seconds) * static_cast<FileTime>(kFileTimeTicksPerSecond);
}

FileTime tapeDateToFileTime(ByteSpan bytes) {
    if (bytes.size() < mtf::kTapeDateSize) return 0;
    return tapeDateToFileTime(decodeTapeDate(bytes));
}

std::optional<TapeAddress> readTapeAddress(ByteSpan block, std::size_t fieldOffset) {
    if (fieldOffset > block.size() || block.size() - fieldOffset < mtf::kTapeAddressSize) {
        return std::nullopt;
    }
    return TapeAddress{mtf::load16(block.data() + fieldOffset), mtf::load16(block.data() + fieldOffset + 2)};
}

std::optional<std::u16string> readTapeName(ByteSpan block, TapeAddress address) {
    const std::size_t end = std::size_t{address.offset} + address.size;
    if (end > block.size()) return std::nullopt;
    std::u16string name;
    decodeName(block.data() + address.offset, address.size, name);
    return name;
}

bool readTapeName(ByteSpan block, TapeAddress address, std::u16string& out) {
    const std::size_t end = std::size_t{address.offset} + address.size;
    if (end > block.size()) return false;
    decodeName(block.data() + address.offset, address.size, out);
    return true;
}

std::optional<std::u16string> readSetName(ByteSpan block) {
    const auto address = readTapeAddress(block, mtf::kSsetNameSize);
    if (!address) return std::nullopt;
    auto name = readTapeName(block, *address);
    if (name && !name->empty() && (name->back() == 0x0080 || name->back() == 0x0010)) {
        name->pop_back();
    }
    return name;
}

std::optional<std::size_t> findStreamHeader(ByteSpan block, std::size_t window) {
    if (block.size() < 4) return std::nullopt;
    const std::size_t limit = std::min(window, block.size() - 3);
    const std::uint8_t* base = block.data();
    std::size_t p = 0;
    while (p < limit) {
        const void* s = std::memchr(base + p, 'S', limit - p);
        if (!s) break;
        p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(s) - base);
        if (base[p + 1] == 'T' && base[p + 2] == 'A' && base[p + 3] == 'N') return p;
        ++p;
    }
    return std::nullopt;
}

bool headerChecksumHolds(ByteSpan block) {
    if (block.size() < mtf::kCommonHeaderSize) return false;
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < mtf::kHeaderChecksum; i += 2) sum ^= mtf::load16(block.data() + i);
    return sum == mtf::load16(block.data() + mtf::kHeaderChecksum);
}

namespace {

std::uint32_t idWord(const char* id) {
    return mtf::load32(reinterpret_cast<const std::uint8_t*>(id));
}

// The full test at one position; six bytes are held there.
inline bool isDescriptorAt(const std::uint8_t* p) {
    static const std::uint32_t sset = idWord("SSET"), dirb = idWord("DIRB"), file = idWord("FILE");
    if (p[4] != 0 || p[5] != 0) return false;
    const std::uint32_t w = mtf::load32(p);
    return w == sset || w == dirb || w == file;
}

}  // namespace

namespace {

// The bulk pass looks, sixteen or thirty-two positions at a time, for a first
// letter S, D or F ((b & ~2) == 'D' takes D and F) followed by S or I: the
// starts of "SSET", "DIRB" and "FILE". Only such positions get the full test.
// Each returns the position it stopped at; its loads stay within `size`.

void testMask(const std::uint8_t* base, std::size_t p, std::uint64_t mask, std::vector<std::uint32_t>& out) {
    while (mask != 0) {
        const auto bit = static_cast<std::size_t>(std::countr_zero(mask));
        mask &= mask - 1;
        if (isDescriptorAt(base + p + bit)) out.push_back(static_cast<std::uint32_t>(p + bit));
    }
}

#ifdef BKF_HAVE_SSE2
std::size_t findWithSse2(const std::uint8_t* base, std::size_t p, std::size_t count, std::size_t size,
                         std::vector<std::uint32_t>& out) {
    const __m128i s = _mm_set1_epi8('S'), d = _mm_set1_epi8('D'), i = _mm_set1_epi8('I');
    const __m128i notBit1 = _mm_set1_epi8(static_cast<char>(~0x02));
    while (p + 16 <= count && p + 22 <= size) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + p + 1));
        const __m128i first = _mm_or_si128(_mm_cmpeq_epi8(a, s), _mm_cmpeq_epi8(_mm_and_si128(a, notBit1), d));
        const __m128i second = _mm_or_si128(_mm_cmpeq_epi8(b, s), _mm_cmpeq_epi8(b, i));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(first, second)));
        if (mask != 0) testMask(base, p, mask, out);
        p += 16;
    }
    return p;
}
#endif

#ifdef BKF_HAVE_AVX2
__attribute__((target("avx2"))) inline __m256i matchAvx2(const std::uint8_t* at) {
    const __m256i s = _mm256_set1_epi8('S'), d = _mm256_set1_epi8('D'), i = _mm256_set1_epi8('I');
    const __m256i notBit1 = _mm256_set1_epi8(static_cast<char>(~0x02));
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 1));
    const __m256i first = _mm256_or_si256(_mm256_cmpeq_epi8(a, s), _mm256_cmpeq_epi8(_mm256_and_si256(a, notBit1), d));
    const __m256i second = _mm256_or_si256(_mm256_cmpeq_epi8(b, s), _mm256_cmpeq_epi8(b, i));
    return _mm256_and_si256(first, second);
}

__attribute__((target("avx2"))) std::size_t findWithAvx2(const std::uint8_t* base, std::size_t p, std::size_t count,
                                                         std::size_t size, std::vector<std::uint32_t>& out) {
    // Sixty-four positions a round, one test for all of them.
    while (p + 64 <= count && p + 70 <= size) {
        const __m256i low = matchAvx2(base + p), high = matchAvx2(base + p + 32);
        if (!_mm256_testz_si256(_mm256_or_si256(low, high), _mm256_or_si256(low, high))) {
            const std::uint64_t mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(low)) |
                                       (std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(high))} << 32);
            testMask(base, p, mask, out);
        }
        p += 64;
    }
    return p;
}

bool haveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

// With AVX-512BW the compares give their masks directly, sixty-four at once.
__attribute__((target("avx512bw"))) std::size_t findWithAvx512(const std::uint8_t* base, std::size_t p,
                                                               std::size_t count, std::size_t size,
                                                               std::vector<std::uint32_t>& out) {
    const __m512i s = _mm512_set1_epi8('S'), d = _mm512_set1_epi8('D'), i = _mm512_set1_epi8('I');
    const __m512i notBit1 = _mm512_set1_epi8(static_cast<char>(~0x02));
    while (p + 64 <= count && p + 70 <= size) {
        const __m512i a = _mm512_loadu_si512(base + p);
        const __m512i b = _mm512_loadu_si512(base + p + 1);
        const std::uint64_t first =
            _mm512_cmpeq_epi8_mask(a, s) | _mm512_cmpeq_epi8_mask(_mm512_and_si512(a, notBit1), d);
        const std::uint64_t mask = first & (_mm512_cmpeq_epi8_mask(b, s) | _mm512_cmpeq_epi8_mask(b, i));
        if (mask != 0) testMask(base, p, mask, out);
        p += 64;
    }
    return p;
}

bool haveAvx512() {
    static const bool have = __builtin_cpu_supports("avx512bw");
    return have;
}
#endif

}  // namespace

void findDescriptorCandidates(ByteSpan bytes, std::size_t count, std::vector<std::uint32_t>& out) {
    findDescriptorCandidates(bytes, count, out, VectorLevel::Avx512);
}

void findDescriptorCandidates(ByteSpan bytes, std::size_t count, std::vector<std::uint32_t>& out, VectorLevel most) {
    out.clear();
    if (bytes.size() < 6) return;
    // Positions whose six bytes are held.
    count = std::min(count, bytes.size() - 5);
    const std::uint8_t* base = bytes.data();
    std::size_t p = 0;
#ifdef BKF_HAVE_AVX2
    if (most >= VectorLevel::Avx512 && haveAvx512()) {
        p = findWithAvx512(base, p, count, bytes.size(), out);
    } else if (most >= VectorLevel::Avx2 && haveAvx2()) {
        p = findWithAvx2(base, p, count, bytes.size(), out);
    }
#endif
#ifdef BKF_HAVE_SSE2
    if (most >= VectorLevel::Sse2) p = findWithSse2(base, p, count, bytes.size(), out);
#endif
    for (; p < count; ++p) {
        if (isDescriptorAt(base + p)) out.push_back(static_cast<std::uint32_t>(p));
    }
}

}  // namespace bkf
