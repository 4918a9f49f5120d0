// The background the Folder Setting and Search Files dialogs paint: the
// program's pale yellow, lighter towards the bottom, under a thin blue band
// in the colours of the logo.
#pragma once

class QWidget;

namespace bkf::gui {

void paintDialogBackground(QWidget& dialog);

}  // namespace bkf::gui
