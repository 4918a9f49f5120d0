// Writes the seed corpora of the fuzz targets into DIR/<target>/: blocks and
// small backups made with the backup writer, snapshot files, search strings
// and display paths.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/tape_format.h"
#include "tools/backup_writer.h"
#include "tools/damage.h"

namespace fs = std::filesystem;
using namespace bkf;
using namespace bkf::tools;

namespace {

void save(const fs::path& dir, const std::string& name, const std::string& bytes) {
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string utf16le(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

std::vector<std::uint8_t> smallBackup(int variant) {
    MemorySink sink;
    WriterOptions options;
    options.blockSize = variant % 2 ? 512 : 1024;
    BackupWriter w(sink, options);
    w.beginSet({.name = variant == 2 ? u"Set: 1/2" : u"Daily"});
    w.directory({.name = folderName(variant == 3 ? u"x?y" : u"Data/Sub")});
    for (int i = 0; i < 3 + variant; ++i) {
        FileItem f;
        f.name = u"f" + std::u16string(1, static_cast<char16_t>(u'a' + i)) + u".txt";
        f.content = Content::random(100 + 50 * i, static_cast<std::uint64_t>(i));
        if (i == 1) f.streamDistance = 600;
        w.file(f);
    }
    w.finish();
    return std::move(sink.bytes());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: fuzz_seeds DIR\n", stderr);
        return 64;
    }
    const fs::path out = argv[1];
    for (int v = 0; v < 4; ++v) {
        auto bytes = smallBackup(v);
        save(out / "scan", "backup" + std::to_string(v), std::string(bytes.begin(), bytes.end()));
        if (v == 0) {
            damageBytes(bytes, Damage{DamageKind::Wipe, 1024, 300, {}});
            save(out / "scan", "damaged", std::string(bytes.begin(), bytes.end()));
        }
        // Every recognised block of it, a slot each.
        for (std::size_t at = 0; at + mtf::kSlotSize <= bytes.size(); at += mtf::kSlotSize) {
            if (bytes[at] >= 'A' && bytes[at] <= 'Z') {
                save(out / "slots", "slot" + std::to_string(v) + "_" + std::to_string(at),
                     std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(std::min(at + 1024, bytes.size()))));
            }
        }
    }
    save(out / "snapshot", "good",
         utf16le(u"<C:\\b.bkf>\r\n<2>\r\n<BKF\\BACKUP SET 1(x)\\Data\\a.txt><1><2><3><4><5><6><7><8>\r\n"
                 u"<BKF\\BACKUP SET 1(x)\\b.txt><10><20><30><40><50><60><70><80>\r\n"));
    save(out / "snapshot", "odd", utf16le(u"junk<p>\r\n<x>\r\n\r\n<a\\b><1>\r\n<<>>\r\n<\\\\..\\x>"));
    for (const auto& [text, pattern] : std::vector<std::pair<std::u16string, std::u16string>>{
             {u"BKF\\BACKUP SET 1(Daily)\\Data\\report.txt", u"*.txt"},
             {u"abcdef", u"a?c"},
             {u"ab", u"*b"},
             {u"report.txt", u"*rep?rt.txt"}}) {
        std::string bytes(1, static_cast<char>(pattern.size()));
        bytes += utf16le(pattern + text);
        save(out / "match", "pair" + std::to_string(text.size()), bytes);
    }
    save(out / "output_path", "plain", utf16le(u"Rec|BKF\\BACKUP SET 1(x)\\Data\\a.txt"));
    save(out / "output_path", "hostile", utf16le(u"|BKF\\..\\CON\\a. \\\xD800\\\\x"));
    return 0;
}
