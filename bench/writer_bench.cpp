// Times the backup writer: 2 GiB of files with pseudo-random content, then a
// million small files, each into a temporary backup that is deleted after.
// Usage: writer_bench [GIB [SMALL_FILES]]   (defaults 2 and 1000000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "tools/backup_writer.h"
#include "tools/script.h"
#include "tools/sink.h"

namespace {

namespace t = bkf::tools;

struct Run {
    double seconds = 0;
    std::uint64_t bytes = 0;
    std::uint64_t files = 0;
};

Run writeBackup(const std::filesystem::path& file, const t::GenerateOptions& options) {
    const auto start = std::chrono::steady_clock::now();
    Run run;
    {
        t::FileSink sink(file);
        t::BackupWriter writer(sink);
        t::generate(writer, options);
        writer.finish();
        run.bytes = writer.position();
        run.files = writer.filesWritten();
        sink.close();
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::filesystem::remove(file);
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    const double gib = argc > 1 ? std::atof(argv[1]) : 2.0;
    const std::uint64_t smallFiles = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1000000;
    std::random_device rd;
    const auto file = std::filesystem::temp_directory_path() / ("bkf-writer-bench-" + std::to_string(rd()) + ".bkf");
    try {
        t::GenerateOptions large;
        large.size = 1 << 20;
        large.files = static_cast<std::uint64_t>(gib * 1024);
        large.sets = 2;
        large.dirs = 16;
        const Run big = writeBackup(file, large);
        const double limit = 30.0 * gib / 2.0;
        std::printf(
            "large files: %llu x 1 MiB, %.2f GiB written in %.2f s = %.0f MB/s (target: 2 GiB < 30 s, here < %.1f s) "
            "%s\n",
            static_cast<unsigned long long>(big.files), static_cast<double>(big.bytes) / (1 << 30), big.seconds,
            static_cast<double>(big.bytes) / 1e6 / big.seconds, limit, big.seconds < limit ? "ok" : "TOO SLOW");

        t::GenerateOptions small;
        small.size = 200;
        small.files = smallFiles;
        small.sets = 4;
        small.dirs = 100;
        const Run many = writeBackup(file, small);
        std::printf("small files: %llu x 200 B, %.2f GiB written in %.2f s = %.0f files/s\n",
                    static_cast<unsigned long long>(many.files), static_cast<double>(many.bytes) / (1 << 30),
                    many.seconds, static_cast<double>(many.files) / many.seconds);
    } catch (const std::exception& e) {
        std::error_code ec;
        std::filesystem::remove(file, ec);
        std::fprintf(stderr, "writer_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
