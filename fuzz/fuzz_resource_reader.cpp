// The structure reader over any bytes: it never fails, what it finds lies
// inside the resources, and a rebuild without edits gives the bytes back.

#include <cstdint>
#include <span>
#include <vector>

#include "fuzzcheck.h"
#include "resource/resourcefile.h"

using namespace tavolin;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto bytes = std::span<const std::uint8_t>(data, size);
    const resource::ResourceFile file = resource::ReadResourceFile(bytes);
    if (file.format == resource::Format::Unknown) {
        Check(file.resources.empty() && file.texts.empty(), "an unknown file has resources or texts");
        return 0;
    }
    std::size_t resource = 0;
    std::size_t index = 0;
    std::size_t end = 0;
    for (const auto& t : file.texts) {
        Check(t.resource >= 1 && t.resource <= file.resources.size(), "a text outside the resources");
        if (t.resource != resource) {
            resource = t.resource;
            index = 0;
            end = 0;
        }
        Check(t.index == ++index, "texts are not numbered from 1 in order");
        const auto& r = file.resources[t.resource - 1];
        Check(r.readable, "a text in a resource that does not decompress");
        Check(end <= t.start && t.start <= t.chars && t.chars <= t.end && t.end <= r.data.size(),
              "a text overlaps another or runs past its resource");
        const std::size_t unit = t.wide ? 2 : 1;
        Check(t.end - t.chars == unit * t.text.size() + (t.kind == resource::TextKind::Text ? unit : 0),
              "a text's bytes do not match its characters");
        end = t.end;
    }
    Check(resource::Rebuild(file, {}, false) == file.bytes, "a rebuild without edits changes the file");
    return 0;
}
