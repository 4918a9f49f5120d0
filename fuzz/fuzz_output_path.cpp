// The names a save gives to any display path and prefix: every one is a
// name both Windows and POSIX file systems take, and the path they make can
// only lie under the output root.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/text.h"
#include "save/output_naming.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bkf;
    std::u16string text(size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    const auto bar = text.find(u'|');
    const std::u16string prefix = bar == std::u16string::npos ? u"Rec" : text.substr(0, bar);
    const std::u16string displayPath = bar == std::u16string::npos ? text : text.substr(bar + 1);

    const std::filesystem::path root("/output/root");
    std::filesystem::path at = root;
    std::size_t depth = 0;
    if (isValidFolderPrefix(prefix)) {
        const std::u16string top = safeName(prefix + u"1");
        if (!isSafeName(top)) std::abort();
        at /= pathFromUtf16(top);
        ++depth;
    }
    for (const std::u16string_view component : outputComponents(displayPath)) {
        const std::u16string name = safeName(component);
        if (!isSafeName(name) || !isSafeName(numberedName(name, 7))) std::abort();
        at /= pathFromUtf16(name);
        ++depth;
    }
    const std::filesystem::path normal = at.lexically_normal();
    const auto relative = normal.lexically_relative(root);
    if (relative.empty() || *relative.begin() == ".." ||
        static_cast<std::size_t>(std::distance(relative.begin(), relative.end())) != depth) {
        std::abort();
    }
    return 0;
}
