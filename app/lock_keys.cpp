#include "app/lock_keys.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace bkf::gui {

std::optional<LockKeys> systemLockKeys() {
#ifdef _WIN32
    return LockKeys{(GetKeyState(VK_CAPITAL) & 1) != 0, (GetKeyState(VK_NUMLOCK) & 1) != 0,
                    (GetKeyState(VK_SCROLL) & 1) != 0};
#else
    return std::nullopt;
#endif
}

}  // namespace bkf::gui
