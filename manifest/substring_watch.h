// Which of a fixed set of texts occur in a text that only ever grows at its end. The decision
// asks, for each installed component, whether its depend text already occurs in the dependency
// list it builds; searching the whole list each time costs the list's length per component, which
// grows with the square of the manifest. The watch feeds each appended piece once through an
// automaton of all the texts it may be asked about (Aho-Corasick), so the answers cost the
// lengths of the pieces and of the texts, whatever the list's length.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class SubstringWatch {
  public:
    // `patterns`: every text that Seen will be asked about (empty ones and repeats are allowed).
    explicit SubstringWatch(const std::vector<std::wstring>& patterns);

    // Appends `text` to the watched text.
    void Feed(const std::wstring& text);

    // Whether `pattern` (one of those given at construction; the empty text always) occurs in
    // the text fed so far. A text that was not given answers false.
    bool Seen(const std::wstring& pattern) const;

  private:
    struct Node {
        int fail = 0;     // the node of the longest proper suffix that is in the trie
        int output = -1;  // the nearest node along the fail links that ends a pattern
        bool endsPattern = false;
        bool seen = false;  // (for a pattern's node) the pattern has occurred
        int parent = 0;     // while the trie is built: the parent and the character to the node
        wchar_t c = 0;
    };

    int Child(int node, wchar_t c) const;
    int Step(int node, wchar_t c) const;

    std::vector<Node> nodes_;
    // The children of node n are at [childStart_[n], childStart_[n + 1]), in character order.
    std::vector<int> childStart_;
    std::vector<wchar_t> childChar_;
    std::vector<int> childNode_;
    std::vector<std::wstring> patterns_;  // the distinct patterns, sorted
    std::vector<int> patternNodes_;       // the node that ends each of them
    int state_ = 0;
};
