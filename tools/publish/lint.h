// What the updater would silently mishandle in a release's manifests. Every rule asks the
// updater's own readers and rules (decoding, element vocabularies, flag words, the version rule,
// the package name rule) rather than restating them. Lint never says "clean" when machines would
// fail: each manifest is read the way each kind of machine reads it.
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

// The exit status for CI: 1 when a finding of `failOn`'s severity or a worse one was made, else 0.
int LintExitStatus(const std::vector<Finding>& findings, Severity failOn);

// Findings about the bytes alone: the size, the mark, ill-formed UTF-8, a NUL that ends the text.
void LintBytes(const LoadedManifest& manifest, std::vector<Finding>& out);

// Findings about the XML: where the updater's reader stops, a root it does not look for.
void LintXml(const LoadedManifest& manifest, std::vector<Finding>& out);

// Findings about the release index, when one is served (tools/publish/lint_index.cpp): what an
// updater built with release keys would refuse. Without keys the signatures are not checked.
void LintReleaseIndex(const ReleaseManifests& release, const LintOptions& options,
                      std::vector<Finding>& out);

// Whether a version text is four decimal numbers separated by dots, each at most 65535 and
// without leading zeros: the form "%d.%d.%d.%d" gives installed versions, so that only a text of
// this form can ever equal one exactly.
bool IsFourPartVersion(const std::wstring& text);

// Whether a downip text is an address the retry can use in place of the download host's name:
// a dotted IPv4 address (four numbers of at most 255) or a host name, either with an optional
// ":port". A text of digits and dots only must be an IPv4 address.
bool IsDownloadAddress(const std::wstring& text);

// The host name of an http or https URL or origin, in lower case, without port; empty when the
// text is no such URL.
std::wstring UrlHostName(const std::wstring& url);

namespace lint {

// A manifest being linted and the list its findings go to.
struct Context {
    const LoadedManifest& m;
    std::vector<Finding>& out;

    // "UpdateList/keldra/version, line 12".
    std::string At(const std::wstring& path, const ManifestNode& node) const;
    void Add(Severity s, const char* code, std::string where, std::string message,
             std::string fix) const;
};

// What the cross-entry rules need of one upgrade entry.
struct EntryFacts {
    std::wstring tag;
    std::string where;  // element path and line in the upgrade manifest
    std::wstring version;
    std::wstring fileName;
    std::wstring depend;
};

// The children of a node with their names; the view of the publisher's parser never fails.
std::vector<std::pair<std::wstring, std::unique_ptr<ManifestNode>>> Children(const ManifestNode& n);
std::wstring TextOf(const ManifestNode& n);

// The settings manifest's elements.
void LintSettings(const Context& c);

// One upgrade entry's fields; fills `facts`.
void LintEntry(const Context& c, const std::wstring& name, const ManifestNode& entry,
               const LintOptions& options, EntryFacts& facts);

}  // namespace lint
