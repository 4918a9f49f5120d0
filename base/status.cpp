#include "base/status.h"

#include <system_error>

namespace bkf {

std::string systemErrorText(int error) {
    return std::generic_category().message(error);
}

}  // namespace bkf
