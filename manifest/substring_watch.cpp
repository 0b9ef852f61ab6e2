#include "manifest/substring_watch.h"

#include <algorithm>
#include <cstddef>
#include <utility>

int SubstringWatch::Child(int node, wchar_t c) const {
    const auto first = childChar_.begin() + childStart_[static_cast<std::size_t>(node)];
    const auto last = childChar_.begin() + childStart_[static_cast<std::size_t>(node) + 1];
    const auto found = std::lower_bound(first, last, c);
    if (found == last || *found != c) {
        return -1;
    }
    return childNode_[static_cast<std::size_t>(found - childChar_.begin())];
}

// The automaton's move from `node` on `c`: the child when there is one, else the same move from
// the fail node; the root stays at the root.
int SubstringWatch::Step(int node, wchar_t c) const {
    for (;;) {
        const int child = Child(node, c);
        if (child >= 0) {
            return child;
        }
        if (node == 0) {
            return 0;
        }
        node = nodes_[static_cast<std::size_t>(node)].fail;
    }
}

SubstringWatch::SubstringWatch(const std::vector<std::wstring>& patterns) : nodes_(1) {
    // The trie is built from the sorted patterns, each one branching off where it leaves the one
    // before, so that every node's children are made in character order.
    // Sorted through pointers, which keeps the sorting code small.
    std::vector<const std::wstring*> sorted;
    for (const std::wstring& pattern : patterns) {
        if (!pattern.empty()) {
            sorted.push_back(&pattern);
        }
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const std::wstring* a, const std::wstring* b) { return *a < *b; });
    std::vector<int> path = {0};  // the nodes along the previous pattern
    for (const std::wstring* pattern : sorted) {
        std::size_t common = 0;
        if (!patterns_.empty()) {
            const std::wstring& previous = patterns_.back();
            if (previous == *pattern) {
                continue;
            }
            const std::size_t most = std::min(previous.size(), pattern->size());
            while (common < most && previous[common] == (*pattern)[common]) {
                ++common;
            }
        }
        path.resize(common + 1);
        for (std::size_t i = common; i < pattern->size(); ++i) {
            Node node;
            node.parent = path.back();
            node.c = (*pattern)[i];
            path.push_back(static_cast<int>(nodes_.size()));
            nodes_.push_back(node);
        }
        nodes_[static_cast<std::size_t>(path.back())].endsPattern = true;
        patterns_.push_back(*pattern);
        patternNodes_.push_back(path.back());
    }
    // The children of each node side by side, in the order they were made (character order).
    childStart_.assign(nodes_.size() + 1, 0);
    for (std::size_t n = 1; n < nodes_.size(); ++n) {
        ++childStart_[static_cast<std::size_t>(nodes_[n].parent) + 1];
    }
    for (std::size_t n = 1; n < childStart_.size(); ++n) {
        childStart_[n] += childStart_[n - 1];
    }
    childChar_.assign(nodes_.size(), 0);
    childNode_.assign(nodes_.size(), 0);
    std::vector<int> next(childStart_.begin(), childStart_.end() - 1);
    for (std::size_t n = 1; n < nodes_.size(); ++n) {
        const auto at =
            static_cast<std::size_t>(next[static_cast<std::size_t>(nodes_[n].parent)]++);
        childChar_[at] = nodes_[n].c;
        childNode_[at] = static_cast<int>(n);
    }
    // Fail and output links, breadth first, so that every shallower node is done before use.
    std::vector<int> queue = {0};
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const int node = queue[head];
        for (int e = childStart_[static_cast<std::size_t>(node)];
             e < childStart_[static_cast<std::size_t>(node) + 1]; ++e) {
            const int child = childNode_[static_cast<std::size_t>(e)];
            const wchar_t c = childChar_[static_cast<std::size_t>(e)];
            Node& n = nodes_[static_cast<std::size_t>(child)];
            n.fail = node == 0 ? 0 : Step(nodes_[static_cast<std::size_t>(node)].fail, c);
            const Node& target = nodes_[static_cast<std::size_t>(n.fail)];
            n.output = target.endsPattern ? n.fail : target.output;
            queue.push_back(child);
        }
    }
}

void SubstringWatch::Feed(const std::wstring& text) {
    for (const wchar_t c : text) {
        state_ = Step(state_, c);
        // Mark every pattern that ends here; a marked node's outputs are marked already.
        const Node& at = nodes_[static_cast<std::size_t>(state_)];
        int node = at.endsPattern ? state_ : at.output;
        while (node > 0 && !nodes_[static_cast<std::size_t>(node)].seen) {
            nodes_[static_cast<std::size_t>(node)].seen = true;
            node = nodes_[static_cast<std::size_t>(node)].output;
        }
    }
}

bool SubstringWatch::Seen(const std::wstring& pattern) const {
    if (pattern.empty()) {
        return true;
    }
    const auto found = std::lower_bound(patterns_.begin(), patterns_.end(), pattern);
    return found != patterns_.end() && *found == pattern &&
           nodes_[static_cast<std::size_t>(
                      patternNodes_[static_cast<std::size_t>(found - patterns_.begin())])]
               .seen;
}
