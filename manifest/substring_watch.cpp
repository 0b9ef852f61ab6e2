#include "manifest/substring_watch.h"

#include <deque>

std::uint64_t SubstringWatch::Key(int node, wchar_t c) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(node)) << 32) |
           static_cast<std::uint32_t>(c);
}

int SubstringWatch::Child(int node, wchar_t c) const {
    const auto found = children_.find(Key(node, c));
    return found == children_.end() ? -1 : found->second;
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
        node = nodes_[node].fail;
    }
}

SubstringWatch::SubstringWatch(const std::vector<std::wstring>& patterns) : nodes_(1) {
    for (const std::wstring& pattern : patterns) {
        if (pattern.empty() || patternNodes_.count(pattern) > 0) {
            continue;
        }
        int node = 0;
        for (const wchar_t c : pattern) {
            int child = Child(node, c);
            if (child < 0) {
                child = static_cast<int>(nodes_.size());
                nodes_.emplace_back();
                children_.emplace(Key(node, c), child);
            }
            node = child;
        }
        nodes_[node].endsPattern = true;
        patternNodes_.emplace(pattern, node);
    }
    // Fail and output links, breadth first, so that every shorter node is done before it is used.
    std::vector<std::vector<std::pair<wchar_t, int>>> edges(nodes_.size());
    for (const auto& [key, child] : children_) {
        edges[static_cast<std::size_t>(key >> 32)].emplace_back(
            static_cast<wchar_t>(key & 0xFFFFFFFFu), child);
    }
    std::deque<int> queue;
    for (const auto& [c, child] : edges[0]) {
        queue.push_back(child);
    }
    while (!queue.empty()) {
        const int node = queue.front();
        queue.pop_front();
        for (const auto& [c, child] : edges[static_cast<std::size_t>(node)]) {
            const int fail = node == 0 ? 0 : Step(nodes_[node].fail, c);
            nodes_[child].fail = fail == child ? 0 : fail;
            const Node& target = nodes_[nodes_[child].fail];
            nodes_[child].output = target.endsPattern ? nodes_[child].fail : target.output;
            queue.push_back(child);
        }
    }
}

void SubstringWatch::Feed(const std::wstring& text) {
    for (const wchar_t c : text) {
        state_ = Step(state_, c);
        // Mark every pattern that ends here; a marked node's outputs are marked already.
        int node = nodes_[state_].endsPattern ? state_ : nodes_[state_].output;
        while (node > 0 && !nodes_[node].seen) {
            nodes_[node].seen = true;
            node = nodes_[node].output;
        }
    }
}

bool SubstringWatch::Seen(const std::wstring& pattern) const {
    if (pattern.empty()) {
        return true;
    }
    const auto found = patternNodes_.find(pattern);
    return found != patternNodes_.end() && nodes_[found->second].seen;
}
