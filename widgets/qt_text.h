// The core's UTF-16 texts as Qt strings.
#pragma once

#include <QString>
#include <string_view>

namespace bkf::gui {

inline QString qstr(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace bkf::gui
