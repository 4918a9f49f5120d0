#include "save/passing_verify.h"

#include <algorithm>
#include <cstring>

#include "engine/tape_format.h"

namespace bkf {

namespace {

constexpr std::uint64_t kHeader = mtf::kStreamHeaderSize;
constexpr std::uint64_t kChecksumStream = kChecksumStreamSize;

}  // namespace

PassingVerifier::PassingVerifier(std::function<bool(std::u16string_view)> wanted) : wanted_(std::move(wanted)) {}

void PassingVerifier::fileFound(const FoundFile& file) {
    if (wanted_ && !wanted_(file.path)) return;
    EntryReport report;
    report.displayPath = file.path;
    if (file.size < 0 || file.dataOffset < static_cast<std::int64_t>(kHeader)) {
        report.result = EntryResult::Failed;
        report.reason =
            file.size < 0 ? "the catalogue gives no valid size and data position for it" : kWrongPlaceReason;
        reports_.push_back(std::move(report));
        return;
    }
    Open open;
    open.report = reports_.size();
    open.header = static_cast<std::uint64_t>(file.dataOffset) - kHeader;
    open.dataEnd = static_cast<std::uint64_t>(file.dataOffset) + static_cast<std::uint64_t>(file.size);
    open.checksumAt = checksumStreamAt(file.dataOffset, file.size);
    open.next = open.header;
    reports_.push_back(std::move(report));
    open_.push_back(std::move(open));
}

void PassingVerifier::bytesScanned(std::uint64_t position, std::span<const std::uint8_t> bytes) {
    const std::uint64_t end = position + bytes.size();
    // Copies [from, to) of the passing bytes into `out` (which starts at `base`).
    const auto copy = [&](std::uint64_t from, std::uint64_t to, std::uint64_t base, std::uint8_t* out) {
        if (from < to) std::memcpy(out + (from - base), bytes.data() + (from - position), to - from);
    };
    for (Open& f : open_) {
        if (f.next >= end) continue;
        const std::uint64_t from = std::max(f.next, position);
        const std::uint64_t dataStart = f.header + kHeader;
        copy(from, std::min(end, dataStart), f.header, f.stan.data());
        const std::uint64_t dataFrom = std::max(from, dataStart), dataTo = std::min(end, f.dataEnd);
        if (dataFrom < dataTo) f.sum.add(bytes.subspan(dataFrom - position, dataTo - dataFrom));
        copy(std::max(from, f.checksumAt), std::min(end, f.checksumAt + kChecksumStream), f.checksumAt, f.csum.data());
        f.next = std::min(end, f.checksumAt + kChecksumStream);
    }
    // Those whose checksum stream has passed are done.
    std::erase_if(open_, [&](Open& f) {
        if (f.next < f.checksumAt + kChecksumStream) return false;
        finish(f, ~std::uint64_t{0});
        return true;
    });
}

void PassingVerifier::scanEnded(std::uint64_t fileSize) {
    for (Open& f : open_) finish(f, fileSize);
    open_.clear();
}

void PassingVerifier::finish(Open& f, std::uint64_t fileSize) {
    EntryReport& r = reports_[f.report];
    const std::uint64_t dataStart = f.header + kHeader;
    if (f.header < fileSize && (dataStart > fileSize || !streamHeaderHolds(f.stan, "STAN"))) {
        // (A header past the end of a shorter backup leaves the entry truncated, as a save has it.)
        r.result = EntryResult::Failed;
        r.reason = kWrongPlaceReason;
        return;
    }
    if (f.dataEnd > fileSize) {
        const std::uint64_t held = fileSize > dataStart ? fileSize - dataStart : 0;
        r.result = EntryResult::Truncated;
        r.bytes = held;
        r.reason = "its data runs past the end of the backup file (" + std::to_string(held) + " of " +
                   std::to_string(f.dataEnd - dataStart) + " bytes there)";
        return;
    }
    r.bytes = f.dataEnd - dataStart;
    const bool whole = f.checksumAt + kChecksumStream <= fileSize;
    r.checksum = whole ? checksumVerdictOf(f.csum, f.sum.value()) : ChecksumVerdict::None;
}

}  // namespace bkf
