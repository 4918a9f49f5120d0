// The state of the lock keys, where the system tells it. Kept apart from the
// window's code so that no window source sees the system's own headers (and
// their macros).
#pragma once

#include <optional>

namespace bkf::gui {

struct LockKeys {
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

// On Windows the keys' toggle state; elsewhere nullopt (Qt does not tell it,
// so the window follows the presses it sees).
std::optional<LockKeys> systemLockKeys();

}  // namespace bkf::gui
