// The few things the command line needs of the terminal and the process.
#pragma once

#include <atomic>

namespace bkf::cli {

bool stderrIsTerminal();

// Installs a Ctrl-C handler that sets a flag instead of ending the process.
void catchInterrupt();
bool interrupted();

}  // namespace bkf::cli
