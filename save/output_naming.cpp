#include "save/output_naming.h"

namespace bkf {

bool isCleanName(std::u16string_view text) {
    return text.find_first_of(kForbiddenNameChars) == std::u16string_view::npos;
}

}  // namespace bkf
