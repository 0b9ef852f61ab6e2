// The history page: the records of the history manifest (root "UpdateList"; each child is an
// entry whose node name is its tag, and its last child "h" holds the change notes, lines
// separated by "|"), and the text of the page built from them for the history panel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "manifest/manifest_node.h"
#include "manifest/update_item.h"

struct HistoryRecord {
    std::wstring tag;
    std::wstring notes;
    // Copied from the update item with the same tag (ignoring case).
    std::wstring name;
    std::wstring version;
    std::int32_t placementKind = 0;
    bool updateNeeded = false;
    bool enforce = false;
};

// Appends one record per child of `root`, in document order. Returns false when the XML
// component failed during the walk; the records taken before the failure stay.
bool ReadHistoryRecords(const ManifestNode& root, std::vector<HistoryRecord>& records);

// For each update item in list order, every record with the item's tag (ignoring case) takes the
// item's name, version, placement kind, update-needed and enforce flags.
void CopyItemFields(const UpdateList& items, std::vector<HistoryRecord>& records);

struct HistoryPageInputs {
    bool mainProductLine = false;        // the target product was exactly "helvor" or "keldra"
    bool targetUpdateAvailable = false;  // the target product has an update
    bool suiteMode = false;              // the suite's main program started the updater
    std::wstring targetProduct;
    std::wstring targetDepend;  // depend text of the target product's update item
    std::wstring announcement;  // from the settings manifest; may be empty
};

// The text inserted into the page: the announcement section, or one section per selected record
// that needs an update and is not enforced (every such record in suite mode; otherwise the target
// product's own, those named in its depend text, and for the calendar product its plug-ins).
// Line ends are "\n\r", as the page has always had them. Names, versions, notes and the
// announcement are escaped ("<", ">", "&" and both quotes): they are shown as text.
std::wstring HistoryPageText(const std::vector<HistoryRecord>& records,
                             const HistoryPageInputs& in);

// The template with `pageText` inserted right after the first `<div class="content">`; at the
// end when the template has no such division.
std::wstring InsertPageText(const std::wstring& pageTemplate, const std::wstring& pageText);

// The template file's bytes (UTF-8, a byte-order mark skipped) read as the C runtime's text mode
// reads them: each CR LF becomes LF.
std::wstring ReadTemplateText(const std::string& bytes);

// The page file's bytes as the C runtime's Unicode text mode writes them: the byte-order mark
// FF FE, then UTF-16LE, each LF written as CR LF.
std::string EncodePageFile(const std::wstring& page);

// The show-page message's block: a 32-bit value (the main window's handle, for the receiver's
// information) and the page path as a NUL-terminated UTF-16LE string with room for 2,056
// characters (a longer path is cut), 4,116 bytes in all.
constexpr std::size_t kShowPageBlockSize = 4116;
constexpr std::size_t kShowPagePathChars = 2056;
std::vector<std::uint8_t> EncodeShowPageBlock(std::uint32_t value, const std::wstring& path);
// The path of a block of kShowPageBlockSize bytes; it ends at the first NUL or at the block's end.
std::wstring DecodeShowPageBlock(const std::uint8_t* block);
