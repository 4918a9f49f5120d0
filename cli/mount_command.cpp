// tarvik mount SOURCE MOUNTPOINT [--background]
#include <cstdio>

#include "cli/commands.h"

namespace bkf::cli {

#ifndef BKF_HAVE_FUSE

int runMountCommand(const Args&) {
#ifdef _WIN32
    std::fputs("tarvik: mount is not available on Windows (it needs FUSE)\n", stderr);
#else
    std::fputs("tarvik: mount is not available in this build (it needs libfuse 3)\n", stderr);
#endif
    return kExitCannotOpen;
}

#endif

}  // namespace bkf::cli
