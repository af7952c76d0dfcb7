#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "codec/savingchanges.h"
#include "tables/stringtable.h"

namespace tavolin {

// One string of a resource file as the command line sees it.
struct ResourceString {
    std::string id;
    int capacity = -1;  // -1 in caption mode, where only the whole file is limited
    std::string text;   // one byte per character, as the tables hold it
    std::vector<CharChange> changes; // what a save without edits rewrites
};

// The only place that touches the tables, the scan and the saving-changes
// findings, so that changes to the core's storage stay in this file.
class ResourceStrings {
public:
    // Scans the bytes read of `file`; caption mode when its absolute path
    // contains "caption". `endError` is the error that ended reading the
    // file, if one did. Throws IoError.
    ResourceStrings(const std::string& file, const std::vector<std::uint8_t>& bytes,
                    const std::exception_ptr& endError);

    [[nodiscard]] bool IsCaption() const { return m_caption; }
    [[nodiscard]] const std::vector<ResourceString>& Strings() const { return m_strings; }
    // True when a save without edits gives back the bytes that were read.
    [[nodiscard]] bool RoundTrips() const { return m_roundTrips; }

    void SetText(std::size_t index, const std::string& text);
    // Every text that would not fit, as "ID (length N, capacity C)" lines, or
    // in caption mode the one line of a file that outgrows its 255 bytes;
    // empty when a save may go ahead.
    [[nodiscard]] std::vector<std::string> Overlong() const;
    // Writes through the safe save. Throws IoError, ConvertError, SaveRefused.
    void Save(const std::string& target) const;

private:
    StringTables m_tables;
    SavingChanges m_changes; // what the scan found
    std::vector<ResourceString> m_strings;
    bool m_caption = false;
    bool m_roundTrips = true;
};

// The caption judgement on the path made absolute (links not resolved).
[[nodiscard]] bool IsCaptionFile(const std::string& file);

} // namespace tavolin
