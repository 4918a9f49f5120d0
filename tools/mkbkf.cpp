// mkbkf: writes test backups in the tape format, and damages them.
#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/backup_writer.h"
#include "tools/damage.h"
#include "tools/manifest.h"
#include "tools/script.h"
#include "tools/sink.h"

namespace {

namespace t = bkf::tools;

constexpr int kExitUsage = 64;
constexpr int kExitData = 65;
constexpr int kExitIo = 74;

const char* const kUsage = R"(Usage:
  mkbkf OUT.bkf [--script FILE] [--manifest OUT.tsv] [--block-size 512|1024]
        [--generate files=N,size=BYTES,sets=K,dirs=D,seed=S[,content=random|zeros]]
  mkbkf damage FILE wipe|randomise OFFSET LENGTH [--seed S] [--manifest M.tsv]
  mkbkf damage FILE insert OFFSET COUNT [--seed S] [--manifest M.tsv]
  mkbkf damage FILE delete OFFSET COUNT [--manifest M.tsv]
  mkbkf damage FILE truncate LENGTH [--manifest M.tsv]
  mkbkf --help

Writes a backup from a script or generated files, with a manifest of the files
in it (path, size, data offset, times, content hash, whether a scanner should
list it). `damage` changes an existing backup in place, and its manifest too
when given one. Inserted bytes are zeros unless --seed is given.

)";

struct UsageError {
    std::string message;
};

int fail(int code, const std::string& message) {
    std::cerr << "mkbkf: " << message << '\n';
    if (code == kExitUsage) std::cerr << "Try 'mkbkf --help'.\n";
    return code;
}

std::uint64_t number(const std::string& text, const char* what) {
    const auto v = t::parseSize(text);
    if (!v) throw UsageError{std::string("bad ") + what + " '" + text + "'"};
    return *v;
}

// Takes "--name VALUE" out of args.
std::optional<std::string> takeOption(std::vector<std::string>& args, std::string_view name) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] != name) continue;
        if (i + 1 >= args.size()) throw UsageError{std::string(name) + " needs a value"};
        std::string value = args[i + 1];
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        if (takeOption(args, name)) throw UsageError{std::string(name) + " given twice"};
        return value;
    }
    return std::nullopt;
}

void rejectLeftovers(const std::vector<std::string>& args) {
    for (const auto& a : args) {
        if (a.size() > 1 && a[0] == '-') throw UsageError{"unknown option " + a};
    }
}

int runDamage(std::vector<std::string> args) {
    const auto seed = takeOption(args, "--seed");
    const auto manifestFile = takeOption(args, "--manifest");
    rejectLeftovers(args);
    if (args.size() < 3) throw UsageError{"damage needs a file, a kind and its numbers"};
    t::Damage d;
    const std::string& kind = args[1];
    std::size_t wanted = 4;
    if (kind == "wipe") {
        d.kind = t::DamageKind::Wipe;
    } else if (kind == "randomise" || kind == "randomize") {
        d.kind = t::DamageKind::Randomise;
    } else if (kind == "insert") {
        d.kind = t::DamageKind::Insert;
    } else if (kind == "delete") {
        d.kind = t::DamageKind::Delete;
    } else if (kind == "truncate") {
        d.kind = t::DamageKind::Truncate;
        wanted = 3;
    } else {
        throw UsageError{"unknown damage '" + kind + "'"};
    }
    if (args.size() != wanted) {
        throw UsageError{"damage " + kind + (wanted == 4 ? " takes OFFSET LENGTH" : " takes LENGTH")};
    }
    d.offset = number(args[2], "offset");
    if (wanted == 4) d.length = number(args[3], "length");
    if (seed) {
        if (d.kind != t::DamageKind::Randomise && d.kind != t::DamageKind::Insert) {
            throw UsageError{"--seed only goes with randomise and insert"};
        }
        d.seed = number(*seed, "seed");
    }
    std::optional<t::Manifest> manifest;
    if (manifestFile) manifest = t::readManifestTsv(*manifestFile);
    std::error_code ec;
    const std::uint64_t before = std::filesystem::file_size(args[0], ec);
    if (ec) throw std::runtime_error("cannot open " + args[0]);
    t::damageFile(args[0], d);
    if (manifest) {
        t::applyDamage(*manifest, d, before);
        t::writeManifestTsv(*manifestFile, *manifest);
    }
    return 0;
}

int runWrite(std::vector<std::string> args) {
    const auto script = takeOption(args, "--script");
    const auto manifestFile = takeOption(args, "--manifest");
    const auto blockSize = takeOption(args, "--block-size");
    const auto generateArgument = takeOption(args, "--generate");
    rejectLeftovers(args);
    if (args.size() != 1) throw UsageError{args.empty() ? "no output file" : "more than one output file"};
    if (script && generateArgument) throw UsageError{"give --script or --generate, not both"};

    t::WriterOptions options;
    if (blockSize) {
        const auto v = number(*blockSize, "block size");
        if (v != 512 && v != 1024) throw UsageError{"--block-size is 512 or 1024"};
        options.blockSize = static_cast<std::uint16_t>(v);
    }
    std::optional<t::GenerateOptions> generated;
    if (generateArgument) {
        try {
            generated = t::parseGenerateOptions(*generateArgument);
        } catch (const std::invalid_argument& e) {
            throw UsageError{e.what()};
        }
    }

    t::Manifest manifest;
    std::uint64_t bytes = 0;
    if (script) {
        const t::Script parsed = t::readScriptFile(*script);
        auto result = t::buildBackupFile(parsed, args[0], options, blockSize.has_value());
        manifest = std::move(result.manifest);
    } else {
        t::FileSink sink(args[0]);
        t::BackupWriter writer(sink, options);
        if (generated) t::generate(writer, *generated);
        writer.finish();
        bytes = writer.position();
        manifest = writer.takeManifest();
        sink.close();
    }
    if (manifestFile) t::writeManifestTsv(*manifestFile, manifest);
    if (bytes == 0) bytes = std::filesystem::file_size(args[0]);
    std::cout << args[0] << ": " << manifest.size() << " files, " << bytes << " bytes\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            std::cout << kUsage << t::kScriptSyntax;
            return 0;
        }
    }
    try {
        if (args.empty()) throw UsageError{"no output file"};
        if (args[0] == "damage") {
            args.erase(args.begin());
            return runDamage(std::move(args));
        }
        return runWrite(std::move(args));
    } catch (const UsageError& e) {
        return fail(kExitUsage, e.message);
    } catch (const t::ScriptError& e) {
        return fail(kExitData, e.what());
    } catch (const std::out_of_range& e) {
        return fail(kExitData, e.what());
    } catch (const std::exception& e) {
        return fail(kExitIo, e.what());
    }
}
