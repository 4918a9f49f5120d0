#include "catalogue/catalogue_tree.h"

#include <stdexcept>

namespace bkf {

std::uint64_t CatalogueTree::childKey(NodeId parent, std::u16string_view label) {
    return hashText(label, (std::uint64_t{parent} + 1) * 0xC2B2AE3D27D4EB4FULL);
}

void CatalogueTree::rebuildChildIndex() {
    children_.clear();
    for (NodeId id = 0; id < nodes_.size(); ++id) children_.insert(childKey(nodes_[id].parent, label(id)), id, keyOf());
}

NodeId CatalogueTree::findChild(NodeId parent, std::u16string_view label) const {
    // Siblings are numbered in the order they were appended, so the lowest
    // matching id is the first such child.
    NodeId best = kNoNode;
    children_.forEach(childKey(parent, label), [&](NodeId id) {
        const Node& node = nodes_[id];
        if (node.parent == parent && id < best && this->label(id) == label) best = id;
        return false;
    });
    return best;
}

NodeId CatalogueTree::appendChild(NodeId parent, std::u16string_view label) {
    if (nodes_.size() >= kNoNode - 1) throw std::length_error("catalogue tree is full");
    const auto id = static_cast<NodeId>(nodes_.size());
    if (label.size() > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("folder name too long");
    Node node;
    node.label = labels_.store(label);
    node.labelLength = static_cast<std::uint32_t>(label.size());
    node.parent = parent;
    nodes_.push_back(std::move(node));
    NodeId& first = parent == kNoNode ? topFirst_ : nodes_[parent].firstChild;
    NodeId& last = parent == kNoNode ? topLast_ : nodes_[parent].lastChild;
    if (last == kNoNode) {
        first = id;
    } else {
        nodes_[last].nextSibling = id;
    }
    last = id;
    children_.insert(childKey(parent, label), id, keyOf());
    return id;
}

void CatalogueTree::setLabel(NodeId n, std::u16string_view label) {
    nodes_[n].label = labels_.store(label);
    nodes_[n].labelLength = static_cast<std::uint32_t>(label.size());
    rebuildChildIndex();
    ++version_;
}

void CatalogueTree::setExpanded(NodeId n, bool expanded) {
    if (nodes_[n].expanded != expanded) {
        nodes_[n].expanded = expanded;
        ++version_;
    }
}

std::size_t CatalogueTree::depth(NodeId n) const {
    std::size_t d = 0;
    for (NodeId p = nodes_[n].parent; p != kNoNode; p = nodes_[p].parent) ++d;
    return d;
}

void CatalogueTree::clear() {
    nodes_.clear();
    labels_.clear();
    children_.clear();
    topFirst_ = topLast_ = kNoNode;
    lastFolderPath_.clear();
    ++version_;
}

void CatalogueTree::addFolderPath(std::u16string_view path) {
    const auto lastSlash = path.rfind(u'\\');
    if (lastSlash == std::u16string_view::npos) return;
    const std::u16string_view folderPart = path.substr(0, lastSlash + 1);
    if (lastFolderVersion_ == version_ && folderPart == lastFolderPath_) return;

    NodeId parent = kNoNode;
    std::size_t start = 0;
    while (start < folderPart.size()) {
        const std::size_t slash = folderPart.find(u'\\', start);
        const std::u16string_view component = folderPart.substr(start, slash - start);
        NodeId child = findChild(parent, component);
        if (child == kNoNode) child = appendChild(parent, component);
        nodes_[child].expanded = true;
        parent = child;
        start = slash + 1;
    }
    lastFolderPath_.assign(folderPart);
    lastFolderVersion_ = version_;
}

NodeId CatalogueTree::findFolder(std::u16string_view path) const {
    const auto lastSlash = path.rfind(u'\\');
    if (lastSlash == std::u16string_view::npos) return kNoNode;
    NodeId at = kNoNode;
    std::size_t start = 0;
    while (start <= lastSlash) {
        const std::size_t slash = path.find(u'\\', start);
        at = findChild(at, path.substr(start, slash - start));
        if (at == kNoNode) return kNoNode;
        start = slash + 1;
    }
    return at;
}

std::u16string CatalogueTree::folderPathOf(NodeId n) const {
    std::vector<NodeId> chain;
    for (NodeId at = n; nodes_[at].parent != kNoNode; at = nodes_[at].parent) chain.push_back(at);
    std::u16string out;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        out += label(*it);
        out += u'\\';
    }
    return out;
}

std::u16string CatalogueTree::pathFromTop(NodeId n) const {
    std::vector<NodeId> chain;
    for (NodeId at = n; at != kNoNode; at = nodes_[at].parent) chain.push_back(at);
    std::u16string out;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        out += label(*it);
        out += u'\\';
    }
    return out;
}

}  // namespace bkf
