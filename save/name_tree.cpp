#include "save/name_tree.h"

#include "base/text.h"
#include "save/output_naming.h"

namespace bkf {

namespace {

// A key under one folder: its id in two code units, then a name.
std::u16string keyIn(NameTree::Id parent, std::u16string_view name) {
    std::u16string key;
    key.reserve(name.size() + 2);
    key.push_back(static_cast<char16_t>(parent >> 16));
    key.push_back(static_cast<char16_t>(parent & 0xFFFF));
    key += name;
    return key;
}

// Names differing in letter case only are one name on the common file systems.
std::u16string folded(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    }
    return out;
}

}  // namespace

NameTree::NameTree() {
    nodes_.push_back({u"", kNone, kNone, kNone, kNone, true, false});
}

NameTree::Id NameTree::append(Id parent, std::u16string name, bool folder, bool renamed) {
    const auto id = static_cast<Id>(nodes_.size());
    nodes_.push_back({std::move(name), parent, kNone, kNone, kNone, folder, renamed || nodes_[parent].renamed});
    Node& p = nodes_[parent];
    if (p.lastChild == kNone) {
        p.firstChild = id;
    } else {
        nodes_[p.lastChild].nextSibling = id;
    }
    p.lastChild = id;
    return id;
}

std::u16string NameTree::freeName(Id parent, const std::u16string& base, unsigned& number) {
    unsigned& next = names_[keyIn(parent, folded(base))].next;
    for (;; ++next) {
        std::u16string name = next == 1 ? base : numberedName(base, next);
        NameUse& use = names_[keyIn(parent, folded(name))];
        if (use.taken) continue;
        use.taken = true;
        number = next++;
        return name;
    }
}

NameTree::Id NameTree::folder(std::span<const std::u16string_view> components) {
    Id current = kRoot;
    for (const std::u16string_view component : components) {
        auto [at, added] = folders_.try_emplace(keyIn(current, component), kNone);
        if (added) {
            bool changed = false;
            const std::u16string base = safeName(component, &changed);
            unsigned number = 0;
            std::u16string name = freeName(current, base, number);
            at->second = append(current, std::move(name), true, changed || number > 1);
        }
        current = at->second;
    }
    return current;
}

NameTree::Id NameTree::folderOf(std::u16string_view displayPath) {
    const auto components = outputComponents(displayPath);
    if (components.empty()) return kRoot;
    return folder(std::span(components.data(), components.size() - 1));
}

NameTree::Id NameTree::folderAt(std::u16string_view displayFolderPath) {
    while (!displayFolderPath.empty() && displayFolderPath.back() == u'\\') displayFolderPath.remove_suffix(1);
    if (displayFolderPath.empty() || displayFolderPath == u"BKF") return kRoot;
    const auto components = outputComponents(displayFolderPath);
    return folder(components);
}

NameTree::Id NameTree::file(Id parent, std::u16string_view displayName) {
    bool changed = false;
    const std::u16string base = safeName(displayName, &changed);
    unsigned number = 0;
    std::u16string name = freeName(parent, base, number);
    return append(parent, std::move(name), false, changed || number > 1);
}

NameTree::Id NameTree::addFile(std::u16string_view displayPath) {
    const auto components = outputComponents(displayPath);
    if (components.empty()) return file(kRoot, u"");
    const Id parent = folder(std::span(components.data(), components.size() - 1));
    return file(parent, components.back());
}

std::string NameTree::pathOf(Id id) const {
    std::vector<Id> chain;
    for (Id at = id; at != kRoot && at != kNone; at = nodes_[at].parent) chain.push_back(at);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty()) path += '/';
        path += utf16ToUtf8(nodes_[*it].name);
    }
    return path;
}

}  // namespace bkf
