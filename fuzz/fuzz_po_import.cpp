// PO import of arbitrary text into a fixed resource file: it applies,
// refuses or reports, and leaves a file that scans, refused imports and
// dry runs the file as it was, and an applied one in the same layout.
//
// Input: a byte of flags (1 --allow-placeholders, 2 --dry-run, 4 a caption
// file's name), then the PO text.

#include <cstdint>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli/stringscli.h"
#include "file/errors.h"
#include "codec/reader.h"
#include "fuzzcheck.h"

using namespace tavolin;
using fuzz::Check;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Latin, Thai and a line feed (a backslash in the text), a U+0000 filler,
// an empty slot, bytes between and after.
const Bytes kResource = {
    1, 2, 3,                                                  // gap "0"
    6, 171, 'H', 0, 'e', 0, 'l', 0, 'l', 0, 'o', 0, 0, 0,     // 1: "Hello" in 6
    7, 9,                                                     // gap
    3, 171, 0x2A, 0x0E, 0x27, 0x0E, 0x31, 0x0E,               // 2: Thai "สวั"
    5, 171, 'a', 0, 10, 0, 'b', 0, 0, 0, 0, 0,                // 3: "a\b" in 5
    0, 171,                                                   // 4: empty
    8, 4, 171, 'A', 0, 'B', 0, 'C', 0, 'D', 0,                // gap "8 ", 5: "ABCD"
    9, 9,                                                     // final gap
};

struct Scan {
    fuzz::Entries vle, vle2, vle3;
};

Scan ScanOrFail(const std::string& path)
{
    StringTables t;
    try {
        ScanResourceFile(path, t);
    } catch (const TavolinError& e) {
        fuzz::Fail(std::string("the file does not scan after an import: ") + e.what());
    }
    return {fuzz::EntriesOf(t.vle), fuzz::EntriesOf(t.vle2), fuzz::EntriesOf(t.vle3)};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t flags = data[0];
    const bool caption = (flags & 4) != 0;
    const std::string& folder = fuzz::WorkFolder();
    const std::string file = folder + (caption ? "/app_caption.rsc" : "/app.rsc");
    const std::string po = folder + "/in.po";
    ::unlink((folder + (caption ? "/app.rsc" : "/app_caption.rsc")).c_str());
    fuzz::WriteFile(file, kResource);
    fuzz::WriteFile(po, Bytes(data + 1, data + size));

    std::vector<std::string> args = {"import", file, po};
    if (flags & 1)
        args.emplace_back("--allow-placeholders");
    if (flags & 2)
        args.emplace_back("--dry-run");
    std::ostringstream out, err;
    const int code = RunStringsCli(args, out, err);

    Check(code == 0 || code == 1, "an import of a well-formed call ended with another code");
    if (code == 1)
        Check(!err.str().empty(), "a failed import said nothing");
    const Bytes after = fuzz::ReadFile(file);
    const bool applied = out.str().rfind("applied ", 0) == 0 && out.str().rfind("applied 0,", 0) != 0;
    if (code != 0 || (flags & 2) || !applied)
        Check(after == kResource, "an import that wrote nothing changed the file");

    StringTables original;
    ScanResourceBytes(kResource, original);
    const Scan before{fuzz::EntriesOf(original.vle), fuzz::EntriesOf(original.vle2),
                      fuzz::EntriesOf(original.vle3)};
    const Scan now = ScanOrFail(file);
    if (caption) {
        Check(now.vle.size() == before.vle.size(), "a caption file lost or gained strings");
    } else {
        Check(after.size() == kResource.size(), "an import changed the file's size");
        Check(now.vle2 == before.vle2 && now.vle3 == before.vle3,
              "an import moved the bytes between the strings or changed a slot");
    }
    Check(fuzz::OtherFiles(folder, caption ? "app_caption.rsc" : "app.rsc").size() == 1,
          "an import left a file behind");
    return 0;
}
