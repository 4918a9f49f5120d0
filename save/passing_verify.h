// Checking a backup's files in the scan's own pass: each file found is checked
// as verifyEntries checks it (the stream header in front of its data, the
// data against the checksum stream behind it), from the bytes the scan reads
// anyway, so the backup is read once.
#pragma once

#include <array>
#include <functional>
#include <string_view>
#include <vector>

#include "engine/scan.h"
#include "save/extract.h"
#include "save/verify.h"

namespace bkf {

class PassingVerifier final : public ScanTap {
public:
    // `wanted` picks the files to check by display path (all when empty).
    explicit PassingVerifier(std::function<bool(std::u16string_view)> wanted = {});

    void fileFound(const FoundFile& file) override;
    void bytesScanned(std::uint64_t position, std::span<const std::uint8_t> bytes) override;
    void scanEnded(std::uint64_t fileSize) override;

    // One report per file checked, in the order the scan found them; whole
    // once the scan has ended (a stopped scan leaves the last ones out).
    const std::vector<EntryReport>& reports() const { return reports_; }

private:
    // A file whose bytes are still to pass: its stream header, data, the
    // padding to the next 4-byte boundary and its checksum stream.
    struct Open {
        std::size_t report = 0;
        std::uint64_t header = 0;  // first byte of the STAN header
        std::uint64_t dataEnd = 0;
        std::uint64_t checksumAt = 0;
        std::uint64_t next = 0;  // the first byte not yet taken
        std::array<std::uint8_t, 22> stan{};
        std::array<std::uint8_t, kChecksumStreamSize> csum{};
        DataChecksum sum;
    };
    void finish(Open& file, std::uint64_t fileSize);

    std::function<bool(std::u16string_view)> wanted_;
    std::vector<EntryReport> reports_;
    std::vector<Open> open_;
};

}  // namespace bkf
