// XLIFF import of arbitrary bytes: ReadXliff returns units or refuses with
// a PoError, never anything else; what it returns, written again by export,
// reads back the same.

#include <string>
#include <string_view>

#include "cli/pofile.h"
#include "cli/xlifffile.h"
#include "fuzzcheck.h"

using namespace tavolin;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<XliffEntry> entries;
    try {
        entries = ReadXliff(bytes, "in.xlf");
    } catch (const PoError& e) {
        Check(std::string_view(e.what()).starts_with("in.xlf: "), std::string("message without the name: ") + e.what());
        return 0;
    }
    // Ids and notes may hold what XML cannot; the texts are what must survive.
    XliffDocument document;
    for (const XliffEntry& entry : entries) {
        document.units.push_back({std::to_string(document.units.size()), entry.source, std::nullopt, ""});
        document.units.push_back({std::to_string(document.units.size()), entry.target.value_or(""), std::nullopt, ""});
    }
    const std::vector<XliffEntry> again = ReadXliff(XliffText(document, "fuzz"), "out.xlf");
    Check(again.size() == document.units.size(), "a unit lost on the way back");
    for (std::size_t i = 0; i < again.size(); ++i)
        Check(again[i].source == document.units[i].source, "a text changed on the way back: " + document.units[i].source);
    return 0;
}
