#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "codec/savingchanges.h"
#include "tables/stringtable.h"

namespace tavolin {

// True when the path, with only A..Z lower-cased, contains "caption": such a
// file is rebuilt from its texts on saving.
[[nodiscard]] bool IsCaptionPath(std::string_view path);

// A text that is longer than its slot, which patch mode cannot write.
struct OverlongText {
    std::string id;
    std::size_t length = 0;
    int capacity = 0;
    bool operator==(const OverlongText&) const = default;
};

// Every text of the IDs patch mode visits that is longer than its capacity,
// in ID order. Capacities that are no number are left to the writer.
[[nodiscard]] std::vector<OverlongText> FindOverlongTexts(const StringTable& vle,
                                                          const StringTable& vle3);
// One message naming the first ten of them and how many more there are.
[[nodiscard]] std::string OverlongTextsMessage(const std::vector<OverlongText>& texts);

// Why a patch-mode save of a file whose string `id` has no length byte of
// its own (kNoLengthByte) is refused.
[[nodiscard]] std::string NoLengthByteMessage(std::string_view id);
// Throws SaveRefused with that message for the first such string the scan
// recorded in `changes`; `vle` names it.
void RefuseStringsWithoutLengthByte(const SavingChanges& changes, const StringTable& vle);

// Appends the bytes that one gap record stands for. Throws ConvertError.
void WriteGapRecord(std::vector<std::uint8_t>& out, std::string_view gapRecord);

// The whole file in patch mode: gap records carried through, every string in
// its slot, filled up with U+0000. Throws ConvertError or SaveRefused.
[[nodiscard]] std::vector<std::uint8_t> BuildPatchFile(const StringTable& vle,
                                                       const StringTable& vle2,
                                                       const StringTable& vle3);
// The whole file in caption mode: header, one entry per text, index.
// Throws SaveRefused when it would not fit its 8-bit offsets.
[[nodiscard]] std::vector<std::uint8_t> BuildCaptionFile(const StringTable& vle);

// Build the file, then put it in place of the target; on any failure the
// target is left as it was. Throw IoError, ConvertError or SaveRefused.
void WritePatchFile(const std::string& target, const StringTable& vle, const StringTable& vle2,
                    const StringTable& vle3);
void WriteCaptionFile(const std::string& target, const StringTable& vle);

// What scanning `source` and saving its tables in patch mode to `target`
// does, in one walk: each string is written as the scan finds it, and no
// table is held, so a file of any size takes a few MiB. Throws IoError, or
// SaveRefused where a string has no length byte of its own.
void ResavePatchFile(const std::string& source, const std::string& target);

// What Save does: caption mode when `isCaptionFile`, patch mode otherwise.
void SaveTables(const std::string& target, const StringTables& tables, bool isCaptionFile);

} // namespace tavolin
