#pragma once

#include <cstdint>
#include <functional>
#include <span>
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

// Throws what a patch-mode save of the tables would: SaveRefused naming every
// text too long for its slot, else ConvertError for the first capacity or gap
// record, in the order of the file, that is no number.
void CheckPatchFile(const StringTable& vle, const StringTable& vle2, const StringTable& vle3);

// Where the bytes of a save go, in file order.
using PutBytes = std::function<void(std::span<const std::uint8_t>)>;

// The patch-mode file, to `put`: the leading gap record, then for each ID its
// slot (length byte, marker, the text, U+0000 for the rest of the slot) and
// the gap record after it. The tables must pass CheckPatchFile.
void PutPatchFile(const StringTable& vle, const StringTable& vle2, const StringTable& vle3, const PutBytes& put);

// The patch-mode file in memory. Throws ConvertError or SaveRefused.
[[nodiscard]] std::vector<std::uint8_t> BuildPatchFile(const StringTable& vle,
                                                       const StringTable& vle2,
                                                       const StringTable& vle3);
// The whole file in caption mode: header, one entry per text, index.
// Throws SaveRefused when it would not fit its 8-bit offsets.
[[nodiscard]] std::vector<std::uint8_t> BuildCaptionFile(const StringTable& vle);
// The offset of a caption file's index, which must fit its 255 bytes: the
// header and every text of `vle` at two bytes a character, plus two each.
[[nodiscard]] int CaptionFileBytes(const StringTable& vle);

// Put the file in place of the target through the safe save; on any failure
// the target is left as it was. Throw IoError, ConvertError or SaveRefused.
void WritePatchFile(const std::string& target, const StringTable& vle, const StringTable& vle2,
                    const StringTable& vle3);
void WriteCaptionFile(const std::string& target, const StringTable& vle);

// What Open of `source` followed by a patch-mode Save to `target` writes: the
// scan, the refusal of strings without a length byte, WritePatchFile. Throws
// IoError or SaveRefused.
void ResavePatchFile(const std::string& source, const std::string& target);
// The same for tables that a scan has just filled, with what it found.
void ResaveScannedTables(const StringTables& tables, const SavingChanges& changes, const std::string& target);

// What Save does: caption mode when `isCaptionFile`, patch mode otherwise.
void SaveTables(const std::string& target, const StringTables& tables, bool isCaptionFile);

} // namespace tavolin
