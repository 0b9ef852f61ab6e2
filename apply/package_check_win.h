// The checks a package passes before it is copied or run: its version, its signer and the
// product check.
#pragma once

#include <string>

// The product check: reads the file's name and its product-name and original-file-name strings
// and compares them with the suite's special packages and the update items, then accepts the file
// whatever they give. What it was meant to reject was never settled, so it rejects nothing.
bool ProductCheck(const std::wstring& path);

// The file version of `path` equals `version` exactly, the signature check accepts the file, the
// product check does, and a program image is whole by its own headers. `signer` receives the signer
// name the signature check read.
bool CheckPackage(const std::wstring& path, const std::wstring& version, std::wstring& signer);

// CheckPackage, and on failure the file is recorded in the anomaly list.
bool CheckPackageOrRecord(const std::wstring& path, const std::wstring& version);
