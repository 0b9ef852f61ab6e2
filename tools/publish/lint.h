// What the updater would silently mishandle in a release's manifests. Every rule asks the
// updater's own readers and rules (decoding, element vocabularies, the version rule, the package
// name rule) rather than restating them.
#pragma once

#include <string>
#include <vector>

#include "tools/publish/manifest_source.h"

enum class Severity { kError, kWarning };

struct Finding {
    Severity severity = Severity::kWarning;
    std::string code;     // stable name of the rule, e.g. "no-bom"
    std::string file;     // host path of the manifest
    std::string where;    // element path and line, or byte offset
    std::string message;  // what the updater does with it
    std::string fix;
};

struct LintOptions {
    std::wstring downloadOrigin;  // "http://host[:port]" the packages should come from
    std::wstring releaseVersion;  // the updater release the manifests ship with
};

// Errors: machines will get a wrong result. Warnings: the publisher probably meant something
// else, but machines still do what the manifest says.
std::vector<Finding> LintRelease(const ReleaseManifests& release, const LintOptions& options);

// Findings about the bytes alone: the mark, ill-formed UTF-8, a NUL that ends the text.
void LintBytes(const LoadedManifest& manifest, std::vector<Finding>& out);

// Findings about the XML: where the updater's reader stops, a root it does not look for.
void LintXml(const LoadedManifest& manifest, std::vector<Finding>& out);

// Findings about the release index, when one is served (tools/publish/lint_index.cpp): what an
// updater built with release keys would refuse. Without keys the signatures are not checked.
void LintReleaseIndex(const ReleaseManifests& release, const LintOptions& options,
                      std::vector<Finding>& out);

// Whether a version text is four decimal numbers separated by dots, each at most 65535.
bool IsFourPartVersion(const std::wstring& text);
