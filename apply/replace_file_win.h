// Replacing installed files that may be in use, locked or protected: copy, repair the access
// list and retry at a fixed pace, and as the last resort move the locked file aside under a
// temporary name that Windows deletes at the next restart.
#pragma once

#include <windows.h>

#include <string>

// The system headers name their own file replacement "ReplaceFile" as a macro; this program's
// replacement has that name, so the macro goes.
#ifdef ReplaceFile
#undef ReplaceFile
#endif

constexpr int kReplaceRetries = 20;
constexpr unsigned kReplaceRetryMs = 200;

// Whether `target` now holds a copy of `source`. The first copy, then up to 20 retries 200 ms
// apart, each after giving the target full access; then the target is renamed to
// "<target>.<ticks>.tmp" (registered for deletion at restart) and copied once more.
bool ReplaceFile(const std::wstring& source, const std::wstring& target);

// Best effort: gives Everyone read access and the Administrators full access to the file; when
// the access list cannot be set, the Administrators first take ownership of it.
void GrantFullAccess(const std::wstring& path);

// The name a displaced file gets: the target, ".", the tick count and ".tmp".
std::wstring DisplacedName(const std::wstring& target, unsigned long ticks);

// Clears the read-only attribute of a file when it is set.
void ClearReadOnly(const std::wstring& path);
