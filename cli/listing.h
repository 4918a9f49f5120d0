// Printing a catalogue: text (time, size, display path), tsv (the ten cells
// of every entry in table order) or json (one object per entry and line).
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "catalogue/catalogue.h"

namespace bkf::cli {

enum class ListFormat { Text, Tsv, Json };

bool parseListFormat(std::string_view text, ListFormat& format);

// "YYYY-MM-DD HH:MM:SS" of a file time, as stored (no time zone).
std::string fileTimeText(FileTime time);

void printCatalogue(const CatalogueTable& table, ListFormat format, std::FILE* out);

// One cell of a tsv row, and one json string, written as printCatalogue writes them.
void printTsvCell(std::u16string_view cell, std::FILE* out);
void printJsonString(std::u16string_view text, std::FILE* out);

// Prints the entries of a recovery snapshot as they are read, without
// building a catalogue: the same rows a loaded snapshot gives. Returns the
// number of entries, or nullopt (with `error` set) when the file cannot be
// read or is not a snapshot.
std::optional<std::size_t> printSnapshot(const std::filesystem::path& file, ListFormat format, std::FILE* out,
                                         std::string& error);

}  // namespace bkf::cli
