// What the catalogue asks the desktop shell about a name: the small icon and
// the type description of a file (or folder) of that name, as if it existed.
// Nothing here touches the disk. The desktop program gives its own
// implementation; the core's default answers from the extension alone.
#pragma once

#include <string>
#include <string_view>

namespace bkf {

class ShellLookup {
public:
    virtual ~ShellLookup() = default;

    // Index of the small icon for a file of that name (a display path is fine:
    // only its last component counts).
    virtual int shellFileIcon(std::u16string_view name) = 0;
    // Index of the small folder icon.
    virtual int shellFolderIcon() = 0;
    // Type description for a file of that name. The text stays valid until
    // the next call on this object (implementations keep a cache).
    virtual std::u16string_view shellTypeName(std::u16string_view name) = 0;
};

// The last component of a path: the text after its last backslash.
std::u16string_view lastPathComponent(std::u16string_view path);

// The extension of a name's last component without the dot ("" when none).
std::u16string_view fileExtension(std::u16string_view name);

// Icon 0 for everything; type names as a desktop without registered types
// gives them: "TXT File" for report.txt, "File" without an extension.
class DefaultShellLookup final : public ShellLookup {
public:
    int shellFileIcon(std::u16string_view) override { return 0; }
    int shellFolderIcon() override { return 0; }
    std::u16string_view shellTypeName(std::u16string_view name) override;

private:
    std::u16string lastExtension_;
    std::u16string lastType_ = u"File";
};

DefaultShellLookup& defaultShellLookup();

}  // namespace bkf
