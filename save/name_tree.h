// The names a save would give, worked out in memory for outputs that are not a
// folder on disk: an archive, a mounted folder. The same rules as a save:
// the components after "BKF" (outputComponents), each made safe (safeName),
// a display folder keeping one name however often it is met, and a name
// already used in its folder (letter case aside) numbered "name (2)",
// "name (3)", ... in the order the names are given.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace bkf {

class NameTree {
public:
    using Id = std::uint32_t;
    static constexpr Id kRoot = 0;
    static constexpr Id kNone = UINT32_MAX;

    NameTree();

    // The folder under which a display path's file is placed (made as needed).
    Id folderOf(std::u16string_view displayPath);
    // The folder named by display components (made as needed).
    Id folder(std::span<const std::u16string_view> components);
    // A display folder path ("BKF\Set\Data\" or without the last backslash).
    Id folderAt(std::u16string_view displayFolderPath);
    // A new file in `parent`, under a name not used there yet.
    Id file(Id parent, std::u16string_view displayName);
    // folderOf + file for a display path.
    Id addFile(std::u16string_view displayPath);

    std::size_t size() const { return nodes_.size(); }
    Id parent(Id id) const { return nodes_[id].parent; }
    const std::u16string& name(Id id) const { return nodes_[id].name; }
    bool isFolder(Id id) const { return nodes_[id].folder; }
    // This name or one above it is not the display name as it stands.
    bool renamed(Id id) const { return nodes_[id].renamed; }
    Id firstChild(Id id) const { return nodes_[id].firstChild; }
    Id nextSibling(Id id) const { return nodes_[id].nextSibling; }

    // The names from below the root down to `id`, joined by '/' (UTF-8).
    std::string pathOf(Id id) const;

private:
    struct Node {
        std::u16string name;
        Id parent = kNone;
        Id firstChild = kNone;
        Id lastChild = kNone;
        Id nextSibling = kNone;
        bool folder = false;
        bool renamed = false;
    };
    struct NameUse {
        bool taken = false;
        unsigned next = 1;  // for a base name: the next number to try
    };

    Id append(Id parent, std::u16string name, bool folder, bool renamed);
    std::u16string freeName(Id parent, const std::u16string& base, unsigned& number);

    std::vector<Node> nodes_;
    std::unordered_map<std::u16string, Id> folders_;     // (parent, display component) -> folder
    std::unordered_map<std::u16string, NameUse> names_;  // (parent, folded name) -> its use
};

}  // namespace bkf
