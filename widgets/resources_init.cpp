#include "widgets/resources_init.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares its initialiser in the enclosing namespace, so it
// is called from the global one.
static void initBkfResources() {
    Q_INIT_RESOURCE(resources);
}

namespace bkf::gui {

void initResources() {
    // The resources live in a static library, whose initialiser the linker
    // would otherwise drop.
    static const bool done = (initBkfResources(), true);
    (void)done;
}

}  // namespace bkf::gui
