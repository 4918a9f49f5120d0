#pragma once

namespace bkf::gui {

// Registers the program's images (":/images/..."). Called by every class that
// uses them; cheap after the first call.
void initResources();

}  // namespace bkf::gui
