// Printing a catalogue: text (time, size, display path), tsv (the ten cells
// of every entry in table order) or json (one object per entry and line).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "catalogue/catalogue.h"

namespace bkf::cli {

enum class ListFormat { Text, Tsv, Json };

bool parseListFormat(std::string_view text, ListFormat& format);

// "YYYY-MM-DD HH:MM:SS" of a file time, as stored (no time zone).
std::string fileTimeText(FileTime time);

void printCatalogue(const CatalogueTable& table, ListFormat format, std::FILE* out);

}  // namespace bkf::cli
