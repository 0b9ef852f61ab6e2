// Putting a new file in place of an installed one without a gap. A copy over the installed file
// would empty it first, so a full disk, an I/O error or a kill part-way would leave a program
// that is neither the old one nor the new one. Instead the new file is written beside the target
// under a staging name, checked (whole size, the same version as the checked package), and moved
// over the target in one replacing move, which the file system makes atomic. The retries with
// repaired access, and the last resort of moving a target that stays in use aside, apply to that
// move. The steps are written against a few file operations so that every failure can be
// injected without Windows.
#pragma once

#include <functional>
#include <string>

// How hard one caller tries: the near twins (the installers' replacement, the guard's copies,
// the guard-upgrade run) differ only in these.
struct SwapPolicy {
    int retries = 0;             // attempts after the first
    int pauseMs = 0;             // before each retry
    bool repairAccess = false;   // before each retry: full access and no read-only attribute
    bool moveAsideLast = false;  // after the last retry: move the target aside and move in
};

// The installers' replacement: 20 retries 200 ms apart with repaired access, then the target is
// moved aside.
inline constexpr SwapPolicy kReplacePolicy{20, 200, true, true};
// The guard's files once the guard was asked to quit: 20 retries 100 ms apart with repaired
// access.
inline constexpr SwapPolicy kGuardCopyPolicy{20, 100, true, false};
// The guard-upgrade run: 50 retries 100 ms apart.
inline constexpr SwapPolicy kGuardSyncPolicy{50, 100, false, false};

// Rounds in which a target moved aside is moved back when the new file could not be moved in.
constexpr int kPutBackRounds = 10;

struct SwapOps {
    // Copies, overwriting `to`; a failure may leave part of it behind.
    std::function<bool(const std::wstring& from, const std::wstring& to)> copy;
    // Renames in one step; with `replace` an existing `to` is replaced, else the move fails.
    std::function<bool(const std::wstring& from, const std::wstring& to, bool replace)> move;
    std::function<void(const std::wstring& path)> remove;
    std::function<bool(const std::wstring& path)> exists;
    std::function<long long(const std::wstring& path)> size;        // -1 when unreadable
    std::function<std::wstring(const std::wstring& path)> version;  // empty when none
    std::function<void(const std::wstring& path)> repairAccess;     // best effort
    std::function<void(const std::wstring& path)> deleteAtRestart;  // best effort
    std::function<void(int ms)> sleep;
    std::function<unsigned long()> ticks;
};

// The staging name of a target: "<target>.new".
std::wstring StagingName(const std::wstring& target);

// The name a target moved aside gets: the target, ".", the tick count (as a signed number) and
// ".tmp".
std::wstring DisplacedName(const std::wstring& target, unsigned long ticks);

// Whether `target` now holds a whole copy of `source`. At every moment the target is the old
// file or the new one, whole, except in the last resort for a target that stays in use: between
// moving it aside and moving the new file in (two renames back to back) the name is empty. When
// the new file cannot be moved in, the old one is moved back (and stays under its displaced
// name, not scheduled for deletion, only if that fails for every round). Nothing staged is left
// behind when the result is false.
bool SwapIn(const std::wstring& source, const std::wstring& target, const SwapPolicy& policy,
            const SwapOps& ops);
