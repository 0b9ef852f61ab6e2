// The build without release keys: the manifests and packages are taken as they come. This file
// holds nothing else, so that a build with keys, which defines the function itself, never links it.
#include "app/release_check.h"

ReleaseCheck* BuiltInReleaseCheck() {
    return nullptr;
}
