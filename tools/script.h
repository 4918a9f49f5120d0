// The mkbkf script: a backup described one statement a line, and the
// generator that makes large backups from a handful of numbers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tools/backup_writer.h"
#include "tools/damage.h"

namespace bkf::tools {

// The script syntax, also printed by `mkbkf --help`.
extern const char* const kScriptSyntax;

class ScriptError : public std::runtime_error {
public:
    ScriptError(std::size_t line, const std::string& message)
        : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line) {}
    std::size_t line() const { return line_; }

private:
    std::size_t line_;
};

// Where a damage statement points: a number, or "@mark" with a part and an adjustment.
struct ScriptOffset {
    std::uint64_t value = 0;
    std::string mark;  // empty: `value` is the offset
    enum class Part { Block, Stream, Data } part = Part::Block;
    std::int64_t adjust = 0;
};

struct ScriptDamage {
    DamageKind kind = DamageKind::Wipe;
    ScriptOffset offset;
    std::uint64_t length = 0;
    std::optional<std::uint64_t> seed;
};

struct ScriptFile {
    FileItem item;
    std::string mark;
};

struct EndSet {};

using ScriptStatement = std::variant<SetItem, EndSet, DirItem, ScriptFile, ScriptDamage>;

struct Script {
    std::optional<std::uint16_t> blockSize;                           // `blocksize` statement
    bool tape = true;                                                 // `notape` statement
    std::vector<std::pair<std::size_t, ScriptStatement>> statements;  // with line numbers
};

// Throws ScriptError naming the first faulty line.
Script parseScript(std::string_view text);
Script readScriptFile(const std::filesystem::path& file);

// Numbers as the script and the command line take them: decimal, 0x hex, or
// with a K, M or G suffix (KiB, MiB, GiB). nullopt when malformed.
std::optional<std::uint64_t> parseSize(std::string_view text);

struct BuildResult {
    Manifest manifest;
    std::vector<BlockRecord> blocks;
    std::vector<Damage> damage;  // resolved, in script order, still to be done
};

// Writes the backup into `sink` and finishes it; the damage statements are
// resolved but not yet done (see buildBackupFile / buildBackupInMemory).
// `options.blockSize` gives way to a `blocksize` statement only when
// `blockSizeFromCaller` is false. Throws ScriptError.
BuildResult runScript(const Script& script, ByteSink& sink, WriterOptions options, bool blockSizeFromCaller = false);
// The same, damage done and entered in the manifest.
BuildResult buildBackupFile(const Script& script, const std::filesystem::path& file, WriterOptions options,
                            bool blockSizeFromCaller = false);
BuildResult buildBackupInMemory(const Script& script, std::vector<std::uint8_t>& out, WriterOptions options = {},
                                bool blockSizeFromCaller = false);

// `--generate files=N,size=BYTES,sets=K,dirs=D,seed=S[,content=random|zeros]`:
// K sets, each with D folders (none: all in the root), N files of BYTES bytes
// spread evenly over them.
struct GenerateOptions {
    std::uint64_t files = 100;
    std::uint64_t size = 4096;
    std::uint64_t sets = 1;
    std::uint64_t dirs = 1;
    std::uint64_t seed = 1;
    Content::Kind content = Content::Kind::Random;
};
// Throws std::invalid_argument naming the bad item.
GenerateOptions parseGenerateOptions(std::string_view text);
// Writes the sets, folders and files; the caller finishes the writer.
void generate(BackupWriter& writer, const GenerateOptions& options);

}  // namespace bkf::tools
