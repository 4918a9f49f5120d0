// Printing a catalogue: text (time, size, display path), tsv (the ten cells
// of every entry in table order) or json (one object per entry and line).
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue.h"

namespace bkf::cli {

enum class ListFormat { Text, Tsv, Json };

bool parseListFormat(std::string_view text, ListFormat& format);

// "YYYY-MM-DD HH:MM:SS" of a file time, as stored (no time zone).
std::string fileTimeText(FileTime time);

// Text: time, size and display path; on a terminal (`terminal`) the path's
// control characters are shown escaped. Tsv: the ten cells, each escaped as
// appendTsvCell does (exact, whatever the output). Json: exact strings.
void printCatalogue(const CatalogueTable& table, ListFormat format, std::FILE* out, bool terminal);

struct SnapshotListing {
    std::size_t rows = 0;               // entries printed
    std::size_t unreadable = 0;         // rows skipped (unreadable, or refused as too long)
    std::vector<std::string> problems;  // what to tell about the skipped rows and the count
};

// One cell of a tsv row, and one json string, written as printCatalogue writes them.
void printTsvCell(std::u16string_view cell, std::FILE* out);
void printJsonString(std::u16string_view text, std::FILE* out);

// Prints the entries of a recovery snapshot as they are read, without
// building a catalogue: the same rows a loaded snapshot gives. nullopt (with
// `error` set) when the file cannot be read or is not a snapshot.
std::optional<SnapshotListing> printSnapshot(const std::filesystem::path& file, ListFormat format, std::FILE* out,
                                             bool terminal, std::string& error);

}  // namespace bkf::cli
