// The mkbkf script language.
//
// One statement a line; '#' starts a comment (outside quotes); blank lines are
// ignored. Words are separated by blanks. A value may be quoted: "..." with the
// escapes \\ \" \0 \n \t and \u{HEX} (any UTF-16 code unit or code point);
// a backslash before anything else stands for itself, so "Data\Sub" needs no
// doubling. Numbers are decimal, 0x hex, or carry a K, M or G suffix (KiB, MiB,
// GiB). Dates are 2008-06-09T21:09:15, 2008-06-09, or 0 for none.
//
//   blocksize 512|1024        format logical block size (first, before any block)
//   notape                    no TAPE block at the start (first, before any block)
//   set NAME [namesize=N] [attr=N] [date=D] [novolume] [noroot]
//                             SSET (closing the open set), then VOLB and the
//                             DIRB of the root folder unless told not to
//   endset                    ESET of the open set (also done by the next set and at the end)
//   dir PATH [raw] [namesize=N] [attr=N] [mtime=D] [ctime=D] [atime=D]
//                             DIRB; PATH's parts split at / or \ and are each
//                             followed by NUL; with `raw` PATH is written as given
//   file NAME [content] [mtime=D] [ctime=D] [atime=D] [btime=D] [nacl=N]
//        [stan=N] [slot=N] [attr=N] [namesize=N] [mark=WORD]
//                             FILE with its streams; content is one of
//                               size=N [seed=S]   pseudo-random bytes (seed: the
//                                                 file's number in the script)
//                               size=N zeros      zeros, seeked over (sparse)
//                               text="..."        the text's UTF-8 bytes
//                               hex=0A1B...       the bytes given
//                             and nothing at all for an empty file;
//                             nacl: NACL data bytes (no NACL stream when absent);
//                             stan: distance of the STAN header from the block;
//                             slot: 0..127, the 512-byte slot of a 64 KiB chunk;
//                             mark: a name for damage statements
//   damage wipe|randomise OFFSET LENGTH [seed=S]
//   damage insert OFFSET COUNT [seed=S]     zeros, or random bytes with a seed
//   damage delete OFFSET COUNT
//   damage truncate LENGTH
//                             done in order once the backup is written; OFFSET
//                             is a number or @MARK, @MARK.stan or @MARK.data
//                             (FILE block, STAN header, first data byte),
//                             optionally followed by +N or -N
#include "tools/script.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "base/text.h"
#include "tools/tape_date.h"

namespace bkf::tools {

const char* const kScriptSyntax =
    R"(Script statements (one a line, '#' comments, "quoted" values with \\ \" \0 \n \t \u{HEX}):
  blocksize 512|1024
  notape
  set NAME [namesize=N] [attr=N] [date=D] [novolume] [noroot]
  endset
  dir PATH [raw] [namesize=N] [attr=N] [mtime=D] [ctime=D] [atime=D]
  file NAME [size=N [seed=S|zeros] | text="..." | hex=HEX] [mtime=D] [ctime=D]
       [atime=D] [btime=D] [nacl=N] [stan=N] [slot=0..127] [attr=N] [namesize=N] [mark=WORD]
  damage wipe|randomise OFFSET LENGTH [seed=S]
  damage insert|delete OFFSET COUNT [seed=S]
  damage truncate LENGTH
Numbers: 123, 0x7B, 4K, 5G. Dates: 2008-06-09T21:09:15, 2008-06-09, 0 (none).
OFFSET: a number or @MARK[.stan|.data][+N|-N].
)";

namespace {

struct Token {
    std::string key;      // before '=', empty for a bare word
    std::u16string text;  // the (decoded) value
    bool quoted = false;
};

void appendCodePoint(std::u16string& out, std::uint32_t cp, std::size_t line) {
    if (cp > 0x10FFFF) throw ScriptError(line, "\\u{...} beyond U+10FFFF");
    bkf::appendCodePoint(out, static_cast<char32_t>(cp));
}

// Reads a quoted value starting at text[i] == '"'; leaves i after the closing quote.
std::u16string readQuoted(std::string_view text, std::size_t& i, std::size_t line) {
    std::u16string out;
    std::size_t start = ++i;
    const auto flush = [&](std::size_t end) { out += utf8ToUtf16(text.substr(start, end - start)); };
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"') {
            flush(i);
            ++i;
            return out;
        }
        if (c != '\\' || i + 1 >= text.size()) {
            ++i;
            continue;
        }
        const char next = text[i + 1];
        const char* simple = nullptr;
        switch (next) {
            case '\\':
                simple = "\\";
                break;
            case '"':
                simple = "\"";
                break;
            case 'n':
                simple = "\n";
                break;
            case 't':
                simple = "\t";
                break;
            default:
                break;
        }
        if (simple || next == '0') {
            flush(i);
            out.push_back(simple ? static_cast<char16_t>(*simple) : u'\0');
            i += 2;
            start = i;
        } else if (next == 'u' && i + 2 < text.size() && text[i + 2] == '{') {
            const std::size_t close = text.find('}', i + 3);
            if (close == std::string_view::npos) throw ScriptError(line, "\\u{ without }");
            std::uint32_t cp = 0;
            const auto [end, ec] = std::from_chars(text.data() + i + 3, text.data() + close, cp, 16);
            if (ec != std::errc{} || end != text.data() + close) {
                throw ScriptError(line, "bad \\u{...} escape");
            }
            flush(i);
            appendCodePoint(out, cp, line);
            i = close + 1;
            start = i;
        } else {
            ++i;  // a lone backslash stands for itself
        }
    }
    throw ScriptError(line, "quote not closed");
}

std::vector<Token> tokenize(std::string_view text, std::size_t line) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (true) {
        while (i < text.size() && blank(text[i])) ++i;
        if (i >= text.size() || text[i] == '#') break;
        Token t;
        if (text[i] == '"') {
            t.text = readQuoted(text, i, line);
            t.quoted = true;
        } else {
            const std::size_t start = i;
            while (i < text.size() && !blank(text[i]) && text[i] != '=' && text[i] != '"') ++i;
            if (i < text.size() && text[i] == '=') {
                t.key = std::string(text.substr(start, i - start));
                ++i;
                if (i < text.size() && text[i] == '"') {
                    t.text = readQuoted(text, i, line);
                    t.quoted = true;
                } else {
                    const std::size_t vstart = i;
                    while (i < text.size() && !blank(text[i])) ++i;
                    t.text = utf8ToUtf16(text.substr(vstart, i - vstart));
                }
            } else {
                t.text = utf8ToUtf16(text.substr(start, i - start));
            }
            if (i < text.size() && !blank(text[i]) && text[i] != '#') {
                throw ScriptError(line, "unexpected '" + std::string(1, text[i]) + "'");
            }
        }
        tokens.push_back(std::move(t));
    }
    return tokens;
}

std::string ascii(const std::u16string& text) {
    std::string out;
    for (const char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

// The key=value items and bare flags that follow a statement's positional words.
class Arguments {
public:
    Arguments(std::vector<Token> tokens, std::size_t positionals, std::size_t line, const std::string& statement)
        : line_(line), statement_(statement) {
        for (auto& t : tokens) {
            if (t.key.empty() && (positional_.size() < positionals || t.quoted)) {
                if (positional_.size() >= positionals) {
                    throw ScriptError(line, "too many values for " + statement);
                }
                positional_.push_back(std::move(t.text));
            } else if (t.key.empty()) {
                flags_.push_back(ascii(t.text));
            } else {
                if (values_.count(t.key)) throw ScriptError(line, t.key + "= given twice");
                values_[t.key] = std::move(t.text);
            }
        }
    }

    std::size_t positionalCount() const { return positional_.size(); }
    const std::u16string& positional(std::size_t i) const { return positional_.at(i); }

    bool flag(const std::string& name) {
        for (auto it = flags_.begin(); it != flags_.end(); ++it) {
            if (*it == name) {
                flags_.erase(it);
                return true;
            }
        }
        return false;
    }
    std::optional<std::u16string> text(const std::string& key) {
        const auto it = values_.find(key);
        if (it == values_.end()) return std::nullopt;
        auto value = std::move(it->second);
        values_.erase(it);
        return value;
    }
    std::optional<std::uint64_t> number(const std::string& key, std::uint64_t max = UINT64_MAX) {
        const auto t = text(key);
        if (!t) return std::nullopt;
        const auto value = parseSize(ascii(*t));
        if (!value || *value > max) {
            throw ScriptError(line_,
                              "bad " + key + "=" + ascii(*t) + (value ? " (at most " + std::to_string(max) + ")" : ""));
        }
        return value;
    }
    std::optional<FileTime> date(const std::string& key) {
        const auto t = text(key);
        if (!t) return std::nullopt;
        const std::string s = ascii(*t);
        if (s == "0" || s == "none") return FileTime{0};
        const auto value = parseDateTime(s);
        if (!value) throw ScriptError(line_, "bad date " + key + "=" + s);
        return value;
    }
    // Everything must have been taken by now.
    void finish() const {
        if (!flags_.empty()) throw ScriptError(line_, "unknown word '" + flags_.front() + "' in " + statement_);
        if (!values_.empty()) throw ScriptError(line_, "unknown item " + values_.begin()->first + "= in " + statement_);
    }

private:
    std::size_t line_;
    std::string statement_;
    std::vector<std::u16string> positional_;
    std::vector<std::string> flags_;
    std::map<std::string, std::u16string> values_;
};

std::vector<std::uint8_t> parseHex(const std::string& hex, std::size_t line) {
    if (hex.size() % 2 != 0) throw ScriptError(line, "hex= needs an even number of digits");
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned v = 0;
        const auto [end, ec] = std::from_chars(hex.data() + i, hex.data() + i + 2, v, 16);
        if (ec != std::errc{} || end != hex.data() + i + 2) throw ScriptError(line, "bad hex= digits");
        out.push_back(static_cast<std::uint8_t>(v));
    }
    return out;
}

ScriptOffset parseOffset(const std::string& text, std::size_t line) {
    ScriptOffset off;
    if (text.empty() || text[0] != '@') {
        const auto v = parseSize(text);
        if (!v) throw ScriptError(line, "bad offset '" + text + "'");
        off.value = *v;
        return off;
    }
    std::size_t end = text.find_first_of("+-", 1);
    std::string name = text.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    if (end != std::string::npos) {
        const auto v = parseSize(std::string_view(text).substr(end + 1));
        if (!v || *v > static_cast<std::uint64_t>(INT64_MAX)) {
            throw ScriptError(line, "bad offset adjustment in '" + text + "'");
        }
        off.adjust = text[end] == '-' ? -static_cast<std::int64_t>(*v) : static_cast<std::int64_t>(*v);
    }
    const std::size_t dot = name.find('.');
    if (dot != std::string::npos) {
        const std::string part = name.substr(dot + 1);
        name.resize(dot);
        if (part == "stan") {
            off.part = ScriptOffset::Part::Stream;
        } else if (part == "data") {
            off.part = ScriptOffset::Part::Data;
        } else if (part != "block") {
            throw ScriptError(line, "unknown part '." + part + "' (block, stan or data)");
        }
    }
    if (name.empty()) throw ScriptError(line, "offset '" + text + "' names no mark");
    off.mark = name;
    return off;
}

Content fileContent(Arguments& args, std::size_t line, std::uint64_t fileNumber) {
    const auto size = args.number("size");
    const auto seed = args.number("seed");
    const bool zeros = args.flag("zeros");
    const auto text = args.text("text");
    const auto hex = args.text("hex");
    if ((text ? 1 : 0) + (hex ? 1 : 0) + (zeros ? 1 : 0) + (seed ? 1 : 0) > 1) {
        throw ScriptError(line, "give only one of text=, hex=, zeros and seed=");
    }
    Content content;
    if (text || hex) {
        content = text ? Content::text(utf16ToUtf8(*text)) : Content::bytes(parseHex(ascii(*hex), line));
        if (size && *size != content.size()) {
            throw ScriptError(line, "size=" + std::to_string(*size) + " but the content has " +
                                        std::to_string(content.size()) + " bytes");
        }
        return content;
    }
    if (!size) {
        if (zeros || seed) throw ScriptError(line, "zeros and seed= need size=");
        return content;
    }
    return zeros ? Content::zeros(*size) : Content::random(*size, seed.value_or(fileNumber));
}

std::optional<std::uint16_t> nameSize(Arguments& args) {
    const auto v = args.number("namesize", 0xFFFF);
    if (!v) return std::nullopt;
    return static_cast<std::uint16_t>(*v);
}

std::uint32_t attributes(Arguments& args) {
    return static_cast<std::uint32_t>(args.number("attr", 0xFFFFFFFFu).value_or(0));
}

ScriptStatement parseStatement(const std::string& command, std::vector<Token> tokens, std::size_t line,
                               std::uint64_t& fileNumber) {
    if (command == "set") {
        Arguments args(std::move(tokens), 1, line, command);
        if (args.positionalCount() != 1) throw ScriptError(line, "set needs a name");
        SetItem s;
        s.name = args.positional(0);
        s.nameSize = nameSize(args);
        s.attributes = attributes(args);
        if (auto d = args.date("date")) s.written = *d;
        s.volume = !args.flag("novolume");
        s.rootFolder = !args.flag("noroot");
        args.finish();
        return s;
    }
    if (command == "endset") {
        if (!tokens.empty()) throw ScriptError(line, "endset takes nothing");
        return EndSet{};
    }
    if (command == "dir") {
        Arguments args(std::move(tokens), 1, line, command);
        if (args.positionalCount() != 1) throw ScriptError(line, "dir needs a path");
        DirItem d;
        d.name = args.flag("raw") ? args.positional(0) : folderName(args.positional(0));
        d.nameSize = nameSize(args);
        d.attributes = attributes(args);
        if (auto t = args.date("mtime")) d.modified = *t;
        if (auto t = args.date("ctime")) d.created = *t;
        if (auto t = args.date("atime")) d.accessed = *t;
        args.finish();
        return d;
    }
    if (command == "file") {
        Arguments args(std::move(tokens), 1, line, command);
        if (args.positionalCount() != 1) throw ScriptError(line, "file needs a name");
        ScriptFile f;
        f.item.name = args.positional(0);
        f.item.content = fileContent(args, line, ++fileNumber);
        if (auto t = args.date("mtime")) f.item.modified = *t;
        if (auto t = args.date("ctime")) f.item.created = *t;
        if (auto t = args.date("atime")) f.item.accessed = *t;
        if (auto t = args.date("btime")) f.item.backup = *t;
        if (auto v = args.number("nacl", 0xFFFFFFFFu)) f.item.naclSize = static_cast<std::uint32_t>(*v);
        if (auto v = args.number("stan", 0xFFFFFFFFu)) f.item.streamDistance = static_cast<std::uint32_t>(*v);
        if (auto v = args.number("slot", 127)) f.item.slot = static_cast<unsigned>(*v);
        f.item.attributes = attributes(args);
        f.item.nameSize = nameSize(args);
        if (auto m = args.text("mark")) f.mark = ascii(*m);
        args.finish();
        return f;
    }
    if (command == "damage") {
        Arguments args(std::move(tokens), 3, line, command);
        if (args.positionalCount() < 2) throw ScriptError(line, "damage needs a kind and an offset");
        static const std::map<std::string, DamageKind> kKinds = {
            {"wipe", DamageKind::Wipe},     {"randomise", DamageKind::Randomise}, {"randomize", DamageKind::Randomise},
            {"insert", DamageKind::Insert}, {"delete", DamageKind::Delete},       {"truncate", DamageKind::Truncate}};
        const std::string kind = ascii(args.positional(0));
        const auto it = kKinds.find(kind);
        if (it == kKinds.end()) throw ScriptError(line, "unknown damage '" + kind + "'");
        ScriptDamage d;
        d.kind = it->second;
        d.offset = parseOffset(ascii(args.positional(1)), line);
        const bool needsLength = d.kind != DamageKind::Truncate;
        if (args.positionalCount() != (needsLength ? 3u : 2u)) {
            throw ScriptError(
                line, "damage " + kind + (needsLength ? " needs an offset and a length" : " needs just a length"));
        }
        if (needsLength) {
            const auto length = parseSize(ascii(args.positional(2)));
            if (!length) throw ScriptError(line, "bad length '" + ascii(args.positional(2)) + "'");
            d.length = *length;
        }
        d.seed = args.number("seed");
        if (d.seed && d.kind != DamageKind::Randomise && d.kind != DamageKind::Insert) {
            throw ScriptError(line, "seed= only goes with randomise and insert");
        }
        args.finish();
        return d;
    }
    throw ScriptError(line, "unknown statement '" + command + "'");
}

std::uint64_t resolveOffset(const ScriptOffset& off, const std::map<std::string, std::size_t>& marks,
                            const Manifest& manifest, std::size_t line) {
    if (off.mark.empty()) return off.value;
    const auto it = marks.find(off.mark);
    if (it == marks.end()) throw ScriptError(line, "no file has mark=" + off.mark);
    const ManifestEntry& e = manifest[it->second];
    const std::uint64_t base = off.part == ScriptOffset::Part::Block    ? e.blockOffset
                               : off.part == ScriptOffset::Part::Stream ? e.streamHeaderOffset()
                                                                        : e.dataOffset;
    if (off.adjust < 0 && static_cast<std::uint64_t>(-off.adjust) > base) {
        throw ScriptError(line, "offset before the start of the file");
    }
    return base + static_cast<std::uint64_t>(off.adjust);
}

}  // namespace

std::optional<std::uint64_t> parseSize(std::string_view text) {
    if (text.empty()) return std::nullopt;
    int base = 10;
    unsigned shift = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else {
        switch (text.back()) {
            case 'K':
            case 'k':
                shift = 10;
                break;
            case 'M':
            case 'm':
                shift = 20;
                break;
            case 'G':
            case 'g':
                shift = 30;
                break;
            default:
                break;
        }
        if (shift != 0) text.remove_suffix(1);
    }
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    if (shift != 0 && value > (UINT64_MAX >> shift)) return std::nullopt;
    return value << shift;
}

Script parseScript(std::string_view text) {
    Script script;
    std::uint64_t fileNumber = 0;
    std::size_t lineNumber = 0;
    // A UTF-8 byte order mark is allowed at the very start.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t eol = text.find('\n');
        const std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        auto tokens = tokenize(line, lineNumber);
        if (tokens.empty()) continue;
        if (!tokens[0].key.empty() || tokens[0].quoted) {
            throw ScriptError(lineNumber, "a statement starts with its name");
        }
        const std::string command = ascii(tokens[0].text);
        tokens.erase(tokens.begin());
        if (command == "blocksize" || command == "notape") {
            if (!script.statements.empty()) {
                throw ScriptError(lineNumber, command + " must come before the first block");
            }
            if (command == "notape") {
                if (!tokens.empty()) throw ScriptError(lineNumber, "notape takes nothing");
                script.tape = false;
                continue;
            }
            const auto v =
                tokens.size() == 1 && tokens[0].key.empty() ? parseSize(ascii(tokens[0].text)) : std::nullopt;
            if (!v || (*v != 512 && *v != 1024)) throw ScriptError(lineNumber, "blocksize is 512 or 1024");
            script.blockSize = static_cast<std::uint16_t>(*v);
            continue;
        }
        script.statements.emplace_back(lineNumber, parseStatement(command, std::move(tokens), lineNumber, fileNumber));
    }
    return script;
}

Script readScriptFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + file.string());
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return parseScript(text);
}

BuildResult runScript(const Script& script, ByteSink& sink, WriterOptions options, bool blockSizeFromCaller) {
    if (script.blockSize && !blockSizeFromCaller) options.blockSize = *script.blockSize;
    options.writeTape = options.writeTape && script.tape;
    options.keepManifest = true;
    BackupWriter writer(sink, options);
    std::map<std::string, std::size_t> marks;
    std::vector<std::pair<std::size_t, const ScriptDamage*>> damage;
    for (const auto& [line, statement] : script.statements) {
        try {
            if (const auto* set = std::get_if<SetItem>(&statement)) {
                writer.beginSet(*set);
            } else if (std::holds_alternative<EndSet>(statement)) {
                writer.endSet();
            } else if (const auto* dir = std::get_if<DirItem>(&statement)) {
                writer.directory(*dir);
            } else if (const auto* file = std::get_if<ScriptFile>(&statement)) {
                writer.file(file->item);
                if (!file->mark.empty() && !marks.emplace(file->mark, writer.manifest().size() - 1).second) {
                    throw ScriptError(line, "mark=" + file->mark + " used twice");
                }
            } else {
                damage.emplace_back(line, &std::get<ScriptDamage>(statement));
            }
        } catch (const std::invalid_argument& e) {
            throw ScriptError(line, e.what());
        }
    }
    writer.finish();
    BuildResult result;
    result.manifest = writer.takeManifest();
    result.blocks = writer.blocks();
    for (const auto& [line, d] : damage) {
        result.damage.push_back(
            Damage{d->kind, resolveOffset(d->offset, marks, result.manifest, line), d->length, d->seed});
    }
    return result;
}

BuildResult buildBackupFile(const Script& script, const std::filesystem::path& file, WriterOptions options,
                            bool blockSizeFromCaller) {
    BuildResult result;
    {
        FileSink sink(file);
        result = runScript(script, sink, std::move(options), blockSizeFromCaller);
        sink.close();
    }
    for (const Damage& d : result.damage) {
        const std::uint64_t before = std::filesystem::file_size(file);
        damageFile(file, d);
        applyDamage(result.manifest, d, before);
    }
    return result;
}

BuildResult buildBackupInMemory(const Script& script, std::vector<std::uint8_t>& out, WriterOptions options,
                                bool blockSizeFromCaller) {
    MemorySink sink;
    BuildResult result = runScript(script, sink, std::move(options), blockSizeFromCaller);
    out = std::move(sink.bytes());
    for (const Damage& d : result.damage) {
        const std::uint64_t before = out.size();
        damageBytes(out, d);
        applyDamage(result.manifest, d, before);
    }
    return result;
}

GenerateOptions parseGenerateOptions(std::string_view text) {
    GenerateOptions o;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
        const std::size_t eq = item.find('=');
        if (eq == std::string_view::npos) {
            throw std::invalid_argument("--generate item '" + std::string(item) + "' is not name=value");
        }
        const std::string_view name = item.substr(0, eq);
        const std::string_view value = item.substr(eq + 1);
        if (name == "content") {
            if (value == "random") {
                o.content = Content::Kind::Random;
            } else if (value == "zeros") {
                o.content = Content::Kind::Zeros;
            } else {
                throw std::invalid_argument("--generate content is random or zeros");
            }
            continue;
        }
        const auto v = parseSize(value);
        std::uint64_t* target = name == "files"  ? &o.files
                                : name == "size" ? &o.size
                                : name == "sets" ? &o.sets
                                : name == "dirs" ? &o.dirs
                                : name == "seed" ? &o.seed
                                                 : nullptr;
        if (!target) throw std::invalid_argument("unknown --generate item '" + std::string(name) + "'");
        if (!v) throw std::invalid_argument("bad number in --generate " + std::string(item));
        *target = *v;
    }
    if (o.sets == 0) throw std::invalid_argument("--generate needs sets=1 or more");
    return o;
}

void generate(BackupWriter& writer, const GenerateOptions& o) {
    constexpr FileTime kDay = 864000000000ULL;
    constexpr FileTime kSecond = 10000000ULL;
    const auto number = [](std::string_view prefix, std::uint64_t n, int width) {
        std::string digits = std::to_string(n);
        if (digits.size() < static_cast<std::size_t>(width)) {
            digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
        }
        return asciiToUtf16(std::string(prefix) + digits);
    };
    std::uint64_t next = 0;
    for (std::uint64_t s = 0; s < o.sets; ++s) {
        SetItem set;
        set.name = number("Generated set ", s + 1, 1);
        set.written = kDefaultTime + s * kDay;
        writer.beginSet(set);
        const std::uint64_t setEnd = (s + 1) * o.files / o.sets;
        const std::uint64_t setFiles = setEnd - next;
        const std::uint64_t folders = std::max<std::uint64_t>(o.dirs, 1);
        for (std::uint64_t d = 0; d < folders; ++d) {
            const std::uint64_t folderEnd = next + (d + 1) * setFiles / folders - d * setFiles / folders;
            if (o.dirs > 0) {
                DirItem dir;
                dir.name = folderName(number("folder", d + 1, 3));
                writer.directory(dir);
            }
            for (; next < folderEnd; ++next) {
                FileItem f;
                f.name = number("file", next + 1, 7) + u".bin";
                f.content =
                    o.content == Content::Kind::Zeros ? Content::zeros(o.size) : Content::random(o.size, o.seed + next);
                f.modified = kDefaultTime - (next % 100000) * kSecond;
                f.created = f.modified - kDay;
                f.accessed = f.modified + kDay;
                f.backup = set.written;
                // A spread of chain lengths, so every way of ending a chain turns up.
                f.naclSize = static_cast<std::uint32_t>(20 + (next % 37) * 4);
                writer.file(f);
            }
        }
    }
}

}  // namespace bkf::tools
