// Naming rules for what a save writes: the characters no name made by the
// scan holds, the folder-name prefix check, the platform's reserved device
// names, and the making of a display path's components into names that every
// file system takes.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/names.h"

namespace bkf {

// The folder-name prefix may hold none of these nine: / \ | * : ? < > '
inline constexpr std::u16string_view kPrefixForbiddenChars = u"/\\|*:?<>'";
inline constexpr std::u16string_view kIllegalPrefixText = u"Illegal character found in file pre fix ";
inline constexpr std::u16string_view kDefaultFolderPrefix = u"Rec";

// The check of the Folder Setting dialog's OK: true when the prefix may be kept.
bool isValidFolderPrefix(std::u16string_view prefix);

// Whether the prefix leaves room for the number after it (up to seven
// digits) within the longest name written.
bool folderPrefixFits(std::u16string_view prefix);

// The platform's reserved device names, in this order (23 names).
inline constexpr std::array<std::u16string_view, 23> kReservedDeviceNames = {
    u"CLOCK$", u"AUX",  u"CON",  u"NUL",  u"PRN",  u"COM1", u"COM2", u"COM3", u"COM4", u"COM5", u"COM6", u"COM7",
    u"COM8",   u"COM9", u"LPT1", u"LPT2", u"LPT3", u"LPT4", u"LPT5", u"LPT6", u"LPT7", u"LPT8", u"LPT9"};

// Whether a name is a reserved device name, in any letter case and with any
// extension ("con", "Aux.txt", "LPT1.tar.gz").
bool isReservedDeviceName(std::u16string_view name);

// The longest name written, in UTF-16 code units and in UTF-8 bytes (the
// limits of the common file systems).
inline constexpr std::size_t kMaxNameUnits = 255;
inline constexpr std::size_t kMaxNameBytes = 255;

// One path component made into a name that Windows and POSIX file systems
// both take, and that can only name something inside its folder: empty, "."
// and ".." become "_", "__" and "___"; control characters, unpaired
// surrogates and \ / : * ? " < > | become "_"; a reserved device name gets a
// "_" in front; trailing dots and spaces become "_"; a name too long is
// shortened, keeping its extension. `changed` (optional) tells whether the
// name had to change.
std::u16string safeName(std::u16string_view component, bool* changed = nullptr);

// `name` with " (n)" before its extension, shortened as needed to stay
// within the limits: report.txt, 2 -> report (2).txt.
std::u16string numberedName(std::u16string_view name, unsigned n);

// The components under which a display path is saved: those after the root
// "BKF" (set label, folders, file name). A path that does not begin with
// "BKF\" keeps all its components. Not yet made safe.
std::vector<std::u16string_view> outputComponents(std::u16string_view displayPath);

// Whether a name could have come from safeName: every rule above holds.
bool isSafeName(std::u16string_view name);

}  // namespace bkf
