// The folder tree of the catalogue: one node per distinct folder path, derived
// from the display paths, each with a three-state mark. It carries no entry
// data. The top-level node, labelled "BKF", is the root.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>
#include "catalogue/chunked_vector.h"
#include "catalogue/id_index.h"
#include "catalogue/text_arena.h"

namespace bkf {

using NodeId = std::uint32_t;
inline constexpr NodeId kNoNode = std::numeric_limits<NodeId>::max();

enum class FolderMark : std::uint8_t { Unchecked = 0, Checked = 1, Partial = 2 };

class CatalogueTree {
public:
    // The first top-level node (the root "BKF"), or kNoNode when the tree is empty.
    NodeId root() const { return topFirst_; }
    std::size_t nodeCount() const { return nodes_.size(); }
    bool empty() const { return nodes_.empty(); }

    NodeId parent(NodeId n) const { return nodes_[n].parent; }
    NodeId firstChild(NodeId n) const { return nodes_[n].firstChild; }
    NodeId nextSibling(NodeId n) const { return nodes_[n].nextSibling; }
    // First child of `parent` (kNoNode: the top level) whose label equals `label` exactly.
    NodeId findChild(NodeId parent, std::u16string_view label) const;
    // Appends a node at the end of `parent`'s children (kNoNode: the top level).
    NodeId appendChild(NodeId parent, std::u16string_view label);

    std::u16string_view label(NodeId n) const { return labels_.view(nodes_[n].label, nodes_[n].labelLength); }
    void setLabel(NodeId n, std::u16string_view label);
    FolderMark mark(NodeId n) const { return nodes_[n].mark; }
    void setMark(NodeId n, FolderMark mark) { nodes_[n].mark = mark; }
    bool expanded(NodeId n) const { return nodes_[n].expanded; }
    void setExpanded(NodeId n, bool expanded);
    std::size_t depth(NodeId n) const;

    void clear();

    // Makes sure a node exists for every component of `path` that is followed
    // by a backslash, each found by exact label among its parent's children or
    // appended; every node on the way is expanded. The text after the last
    // backslash (a file name) never becomes a node.
    void addFolderPath(std::u16string_view path);
    // The node of the folder that holds `path` (everything up to its last
    // backslash, found as addFolderPath would find it), or kNoNode.
    NodeId findFolder(std::u16string_view path) const;

    // The labels from the child of the root down to `n`, each followed by a
    // backslash; empty for a top-level node.
    std::u16string folderPathOf(NodeId n) const;
    // The labels from the top-level node down to `n`, each followed by a backslash.
    std::u16string pathFromTop(NodeId n) const;

    // Calls f(node) for `n` and every node below it, depth first in child order.
    template <class F>
    void forEachInSubtree(NodeId n, F&& f) const {
        std::vector<NodeId> stack{n};
        while (!stack.empty()) {
            const NodeId at = stack.back();
            stack.pop_back();
            f(at);
            // Push children in reverse so that they come out in child order.
            const std::size_t mark = stack.size();
            for (NodeId c = nodes_[at].firstChild; c != kNoNode; c = nodes_[c].nextSibling) stack.push_back(c);
            std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(mark), stack.end());
        }
    }

private:
    struct Node {
        TextArena::Ref label = 0;
        std::uint32_t labelLength = 0;
        NodeId parent = kNoNode;
        NodeId firstChild = kNoNode;
        NodeId lastChild = kNoNode;
        NodeId nextSibling = kNoNode;
        FolderMark mark = FolderMark::Unchecked;
        bool expanded = false;
    };
    static std::uint64_t childKey(NodeId parent, std::u16string_view label);
    // The child key of a node, as the index asks for it.
    auto keyOf() const {
        return [this](NodeId id) { return childKey(nodes_[id].parent, label(id)); };
    }
    void rebuildChildIndex();

    ChunkedVector<Node, 12> nodes_;  // grows without moving what it holds
    TextArena labels_;
    NodeId topFirst_ = kNoNode;
    NodeId topLast_ = kNoNode;
    // Children by (parent, label); several nodes may share a key.
    IdIndex children_;
    // The folder part of the last path added, valid while the tree is unchanged
    // from outside: a scan adds the files of one folder one after another.
    std::u16string lastFolderPath_;
    std::uint64_t version_ = 0;
    std::uint64_t lastFolderVersion_ = std::numeric_limits<std::uint64_t>::max();
};

}  // namespace bkf
