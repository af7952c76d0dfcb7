// The scan over arbitrary bytes: it matches a byte-by-byte reading of the
// format, also from a file and in a resave; a save of what it read gives the
// bytes back wherever the file can come back, and a second scan of any save
// gives the same tables.

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <unistd.h>
#include <vector>

#include "codec/charconv.h"
#include "file/errors.h"
#include "codec/format.h"
#include "codec/reader.h"
#include "codec/savingchanges.h"
#include "codec/writer.h"
#include "bytewisereading.h"
#include "fuzzcheck.h"

using namespace tavolin;
using fuzz::Check;

namespace {

using reference::Reading;
using reference::ReadByteByByte;

bool SameTables(const StringTables& t, const fuzz::Entries& vle, const fuzz::Entries& vle2,
                const fuzz::Entries& vle3)
{
    return fuzz::EntriesOf(t.vle) == vle && fuzz::EntriesOf(t.vle2) == vle2 && fuzz::EntriesOf(t.vle3) == vle3;
}

// A save gives the bytes back where it can, and a second scan of it the
// same tables.
int FinishChecks(const Reading& expected, const StringTables& tables, const std::vector<std::uint8_t>& saved,
                 std::span<const std::uint8_t> input)
{
    if (expected.failed)
        return 0;
    if (expected.charsSurvive && expected.layoutSurvives)
        Check(saved == std::vector<std::uint8_t>(input.begin(), input.end()),
              "a file that meets the round-trip conditions did not come back byte for byte");

    // A length byte of 171 is read back as a marker, whatever the writer does.
    if (expected.lengthIsMarker)
        return 0;
    StringTables again;
    try {
        ScanResourceBytes(saved, again);
    } catch (const TavolinError& e) {
        fuzz::Fail(std::string("a save could not be scanned again: ") + e.what());
    }
    Check(fuzz::EntriesOf(again.vle) == fuzz::EntriesOf(tables.vle) &&
              fuzz::EntriesOf(again.vle2) == fuzz::EntriesOf(tables.vle2) &&
              fuzz::EntriesOf(again.vle3) == fuzz::EntriesOf(tables.vle3),
          "a second scan of the save gives other tables");
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> input(data, size);
    const Reading expected = ReadByteByByte(input);

    StringTables tables;
    SavingChanges changes;
    try {
        ScanResourceBytes(input, tables, &changes);
        Check(!expected.failed, "the scan went past the end of its bytes without an error");
    } catch (const IoError& e) {
        Check(expected.failed, "the scan failed where a byte-wise reading does not");
        Check(e.Code() == kReadBeyondEnd && std::string(e.what()) == "Read beyond end of file",
              "a short string failed with another error");
    }
    // Also after an error: what was read before it stays.
    Check(SameTables(tables, expected.vle, expected.vle2, expected.vle3),
          "the scan's tables differ from a byte-wise reading");
    // Strings without a length byte of their own are recorded first in
    // their list; the characters' changes follow.
    const CharChange noLengthByte{kNoLengthByte, kNoLengthByte};
    bool anyCharChange = false;
    bool anyWithoutLengthByte = false;
    for (const auto& [index, list] : changes) {
        Check(index < tables.vle.EntryCount() && !list.empty(), "a saving change names no string");
        const bool without = LacksLengthByte(list);
        anyWithoutLengthByte |= without;
        anyCharChange |= list.size() > (without ? 1u : 0u);
        Check(std::count(list.begin(), list.end(), noLengthByte) == (without ? 1 : 0),
              "a missing length byte is recorded other than first and once");
    }
    Check(!anyCharChange == expected.charsSurvive, "the record of saving changes disagrees with the characters");
    if (!expected.failed)
        Check(anyWithoutLengthByte == !expected.layoutSurvives,
              "the record of saving changes disagrees with the length bytes");

    std::vector<std::uint8_t> saved;
    try {
        saved = BuildPatchFile(tables.vle, tables.vle2, tables.vle3);
    } catch (const TavolinError& e) {
        fuzz::Fail(std::string("a save of scanned tables was refused: ") + e.what());
    }

    // The same bytes as a file, scanned and resaved.
    const std::string source = fuzz::WorkFolder() + "/source.rsc";
    const std::string target = fuzz::WorkFolder() + "/target.rsc";
    fuzz::WriteFile(source, {input.begin(), input.end()});
    StringTables fromFile;
    SavingChanges fromFileChanges;
    std::string fileError;
    try {
        ScanResourceFile(source, fromFile, &fromFileChanges);
    } catch (const IoError& e) {
        fileError = e.what();
    }
    Check(fileError == (expected.failed ? "Read beyond end of file" : ""),
          "a scan of the file failed otherwise: " + fileError);
    Check(SameTables(fromFile, expected.vle, expected.vle2, expected.vle3) && fromFileChanges == changes,
          "a scan of the file gives other tables");
    // A resave flushes to disk: for one input in four (by its last byte).
    if (size != 0 && data[size - 1] % 4 != 0)
        return FinishChecks(expected, tables, saved, input);
    ::unlink(target.c_str());
    std::string resaveError;
    try {
        ResavePatchFile(source, target);
    } catch (const TavolinError& e) {
        resaveError = e.what();
    }
    const bool refused = !expected.failed && expected.withoutLengthByte != 0;
    Check(resaveError == (refused ? NoLengthByteMessage(std::to_string(expected.withoutLengthByte)) : fileError),
          "a resave failed otherwise than the scan: " + resaveError);
    if (expected.failed || refused)
        Check(::access(target.c_str(), F_OK) != 0, "a failed resave left a file");
    else
        Check(fuzz::ReadFile(target) == saved, "a resave wrote other bytes than a save of the tables");
    Check(fuzz::OtherFiles(fuzz::WorkFolder(), "source.rsc").size() == (expected.failed || refused ? 0u : 1u),
          "a resave left a file behind");
    return FinishChecks(expected, tables, saved, input);
}
