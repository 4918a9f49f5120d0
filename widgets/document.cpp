#include "widgets/document.h"

#include "widgets/qt_shell_lookup.h"

namespace bkf::gui {

Document::Document()
    : shell_(std::make_unique<QtShellLookup>()), catalogue_(std::make_unique<bkf::Catalogue>(*shell_)) {}

Document::~Document() = default;

void Document::open() {
    if (open_) return;
    open_ = true;
    emit openChanged(true);
}

void Document::clearCatalogue() {
    catalogue_->clear();
    emit catalogueCleared();
}

void Document::close() {
    clearCatalogue();
    if (!open_) return;
    open_ = false;
    emit openChanged(false);
}

void Document::setActivity(Activity activity) {
    if (activity_ == activity) return;
    activity_ = activity;
    emit activityChanged(activity);
}

}  // namespace bkf::gui
