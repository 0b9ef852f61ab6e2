// Replacing installed files that may be in use, locked or protected: the new file is written
// beside the target and moved over it in one step; the move is retried at a fixed pace after
// repairing the access list, and as the last resort the locked file is moved aside under a
// temporary name that Windows deletes at the next restart.
#pragma once

#include <windows.h>

#include <string>

// The system headers name their own file replacement "ReplaceFile" as a macro; this program's
// replacement has that name, so the macro goes.
#ifdef ReplaceFile
#undef ReplaceFile
#endif

#include "apply/swap_plan.h"

constexpr int kReplaceRetries = kReplacePolicy.retries;
constexpr unsigned kReplaceRetryMs = kReplacePolicy.pauseMs;

// Whether `target` now holds a whole copy of `source`: the source is copied beside the target
// ("<target>.new"), checked, and moved over it; up to 20 retries 200 ms apart, each after giving
// the target full access; then the target is renamed to "<target>.<ticks>.tmp" (registered for
// deletion at restart) and the new file moved in.
bool ReplaceFile(const std::wstring& source, const std::wstring& target);

// The same steps with another caller's retries (the guard's copies).
bool SwapInFile(const std::wstring& source, const std::wstring& target, const SwapPolicy& policy);

// Best effort: gives Everyone read access and the Administrators full access to the file; when
// the access list cannot be set, the Administrators first take ownership of it.
void GrantFullAccess(const std::wstring& path);

// The size of a file in bytes; -1 when it is missing, unreadable or a folder.
long long FileSizeOf(const std::wstring& path);

// Clears the read-only attribute of a file when it is set.
void ClearReadOnly(const std::wstring& path);
