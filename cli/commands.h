// The subcommands of tarvik. Each takes its arguments (without the command
// name), prints its results on stdout and one clear line per error on stderr,
// and returns the process exit status.
#pragma once

#include <string_view>
#include <vector>

namespace bkf::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitNothingFound = 1;
inline constexpr int kExitCannotOpen = 2;
inline constexpr int kExitPartial = 3;
inline constexpr int kExitUsage = 64;

using Args = std::vector<std::string_view>;

int runBlocks(const Args& args);

}  // namespace bkf::cli
