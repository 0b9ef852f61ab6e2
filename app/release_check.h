// The step that a build with release keys runs before it trusts any manifest: fetch the signed
// release index and accept it, or end the check. The build without release keys has no such step.
#pragma once

#include <string>

// Never destroyed through this interface: the check of a build lives as long as the process.
class ReleaseCheck {
  public:
    // Fetches the release index from the manifest host and judges it. When it is accepted, the
    // manifests and packages are held against it from then on and the result is true; otherwise
    // nothing has been written and the check ends as if the manifest host could not be reached.
    virtual bool Open(const std::wstring& manifestHost) = 0;
    // Keeps the accepted release's number, once the upgrade manifest has been taken: a later
    // session refuses any index of a lower number.
    virtual void Keep() = 0;

  protected:
    ~ReleaseCheck() = default;
};

// The release check of this executable: null in the build without release keys
// (app/release_check_none.cpp). A build with keys links a generated file of its own that defines
// it (cmake/ReleaseKeys.cmake); the linker then never takes the one of the library, and only such
// a build carries the code of the check.
ReleaseCheck* BuiltInReleaseCheck();
