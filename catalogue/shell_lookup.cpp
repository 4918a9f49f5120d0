#include "catalogue/shell_lookup.h"

namespace bkf {

std::u16string_view lastPathComponent(std::u16string_view path) {
    const auto slash = path.rfind(u'\\');
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

std::u16string_view fileExtension(std::u16string_view name) {
    const auto last = lastPathComponent(name);
    const auto dot = last.rfind(u'.');
    return dot == std::u16string_view::npos ? std::u16string_view{} : last.substr(dot + 1);
}

std::u16string_view DefaultShellLookup::shellTypeName(std::u16string_view name) {
    const auto ext = fileExtension(name);
    if (ext == lastExtension_) return lastType_;
    lastExtension_.assign(ext);
    lastType_.clear();
    for (char16_t c : ext) lastType_.push_back(c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c);
    lastType_ += ext.empty() ? u"File" : u" File";
    return lastType_;
}

DefaultShellLookup& defaultShellLookup() {
    static DefaultShellLookup instance;
    return instance;
}

}  // namespace bkf
