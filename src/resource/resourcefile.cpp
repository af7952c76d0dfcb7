#include "resource/resourcefile.h"

#include <algorithm>
#include <array>

#include "resource/scsu.h"
#include "resource/textrules.h"

namespace tavolin::resource {

namespace {

constexpr std::uint32_t kCompressedUid1 = 0x101F4A6B;
constexpr std::size_t kCompressedHeader = 19;

std::uint16_t Word(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

std::uint32_t Long(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint16_t Crc16(std::span<const std::uint8_t> uids, std::size_t first)
{
    std::uint16_t crc = 0;
    for (std::size_t i = first; i < uids.size(); i += 2) {
        crc ^= static_cast<std::uint16_t>(uids[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

// The index: N+1 words at P (the file's last word) up to the end, the first
// entry where the resources start, each entry at or after the one before.
bool ReadIndex(std::span<const std::uint8_t> b, std::size_t firstResource, ResourceFile& file)
{
    if (b.size() < firstResource + 2)
        return false;
    const std::size_t p = Word(b, b.size() - 2);
    if (p < firstResource || p > b.size() - 2 || (b.size() - p) % 2 != 0)
        return false;
    const std::size_t n = (b.size() - p) / 2 - 1;
    std::size_t previous = Word(b, p);
    if (previous != firstResource)
        return false; // no bytes between the header and resource 1
    for (std::size_t i = 1; i <= n; ++i) {
        const std::size_t next = Word(b, p + 2 * i);
        if (next < previous)
            return false;
        Resource r;
        r.offset = previous;
        r.size = next - previous;
        file.resources.push_back(std::move(r));
        previous = next;
    }
    return previous == p;
}

struct CompressedRun {
    std::size_t before = 0; // decompressed offset before the implicit pad
    std::size_t chars = 0;
    std::u16string units;
    int lengthByte = -1; // last byte of a non-empty other-stuff run just before
};

// The stored runs as the platform expands them; false where it would fail.
bool Decompress(std::span<const std::uint8_t> stored, std::vector<std::uint8_t>& out,
                std::vector<CompressedRun>& runs)
{
    bool compressed = true;
    int lastOther = -1;
    std::size_t pos = 0;
    while (pos < stored.size()) {
        std::size_t n = stored[pos++];
        if (n & 0x80) {
            if (pos >= stored.size())
                return false;
            n = (n & 0x7F) << 8 | stored[pos++];
        }
        if (n > stored.size() - pos)
            return false;
        const auto bytes = stored.subspan(pos, n);
        if (compressed) {
            if (n > 0) {
                CompressedRun run;
                run.before = out.size();
                if (out.size() % 2 != 0)
                    out.push_back(kPad);
                auto units = DecodeScsu(bytes);
                if (!units)
                    return false;
                run.chars = out.size();
                for (const char16_t u : *units) {
                    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
                    out.push_back(static_cast<std::uint8_t>(u >> 8));
                }
                run.units = std::move(*units);
                run.lengthByte = lastOther;
                runs.push_back(std::move(run));
            }
            lastOther = -1;
        } else {
            out.insert(out.end(), bytes.begin(), bytes.end());
            lastOther = n > 0 ? bytes.back() : -1;
        }
        pos += n;
        compressed = !compressed;
    }
    return true;
}

void AddCompressedTexts(std::size_t resource, const std::vector<CompressedRun>& runs, std::vector<Text>& texts)
{
    for (const auto& run : runs) {
        if (run.units.empty())
            continue; // bytes that only switch modes or windows
        Text t;
        t.resource = resource;
        t.certain = true;
        t.compressed = true;
        t.chars = run.chars;
        t.end = run.chars + 2 * run.units.size();
        t.text = run.units;
        if (run.lengthByte >= 0 && static_cast<std::size_t>(run.lengthByte) == run.units.size()) {
            t.kind = TextKind::Ltext;
            t.start = run.before - 1;
        } else if (run.units.back() == 0) {
            t.kind = TextKind::Text;
            t.start = run.before;
            t.text.pop_back();
        } else {
            t.kind = TextKind::Buf;
            t.start = run.before;
        }
        texts.push_back(std::move(t));
    }
}

} // namespace

const char* FormatName(Format format)
{
    switch (format) {
    case Format::Old:
        return "old";
    case Format::Compressed:
        return "compressed";
    case Format::Narrow:
        return "narrow";
    case Format::Unknown:
        break;
    }
    return "unknown";
}

std::string TextId(const Text& t)
{
    return std::to_string(t.resource) + "." + std::to_string(t.index);
}

bool ParseTextId(std::string_view id, std::size_t& resource, std::size_t& index)
{
    const auto dot = id.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == id.size() || id.size() > 12)
        return false;
    for (std::size_t i = 0; i < id.size(); ++i)
        if (i != dot && (id[i] < '0' || id[i] > '9'))
            return false;
    resource = std::stoul(std::string(id.substr(0, dot)));
    index = std::stoul(std::string(id.substr(dot + 1)));
    return resource > 0 && index > 0;
}

const char* KindName(TextKind kind)
{
    switch (kind) {
    case TextKind::Ltext:
        return "LTEXT";
    case TextKind::Text:
        return "TEXT";
    case TextKind::Buf:
        break;
    }
    return "BUF";
}

bool HasValidUidChecksum(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 16)
        return false;
    const auto uids = bytes.first(12);
    const std::uint32_t sum = static_cast<std::uint32_t>(Crc16(uids, 1)) << 16 | Crc16(uids, 0);
    return Long(bytes, 12) == sum;
}

ResourceFile ReadResourceFile(std::span<const std::uint8_t> bytes)
{
    ResourceFile file;
    file.bytes.assign(bytes.begin(), bytes.end());
    const auto b = std::span<const std::uint8_t>(file.bytes);

    if (b.size() >= kCompressedHeader + 2 && Long(b, 0) == kCompressedUid1 && HasValidUidChecksum(b)) {
        // The bit array's length follows from N, which follows from P.
        const std::size_t p = Word(b, b.size() - 2);
        if (p <= b.size() - 2 && (b.size() - p) % 2 == 0) {
            const std::size_t n = (b.size() - p) / 2 - 1;
            file.headerSize = kCompressedHeader + (n + 7) / 8;
            if (ReadIndex(b, file.headerSize, file))
                file.format = Format::Compressed;
        }
        file.largest = Word(b, 17);
    } else if (b.size() >= 6 && Word(b, 0) == Word(b, b.size() - 2)) {
        file.headerSize = 4;
        if (ReadIndex(b, file.headerSize, file) && Word(b, 2) == 2 * file.resources.size() + 3)
            file.format = Format::Old;
    }
    if (file.format == Format::Unknown) {
        file.resources.clear();
        file.headerSize = 0;
        return file;
    }

    bool anyBit = false;
    std::vector<std::vector<std::pair<std::size_t, std::size_t>>> taken(file.resources.size());
    for (std::size_t i = 0; i < file.resources.size(); ++i) {
        Resource& r = file.resources[i];
        const auto stored = b.subspan(r.offset, r.size);
        if (file.format == Format::Compressed)
            r.compressedBit = (b[kCompressedHeader + i / 8] >> (i % 8)) & 1;
        if (!r.compressedBit) {
            r.data.assign(stored.begin(), stored.end());
            continue;
        }
        anyBit = true;
        std::vector<CompressedRun> runs;
        if (!Decompress(stored, r.data, runs)) {
            r.readable = false;
            r.data.assign(stored.begin(), stored.end());
            continue;
        }
        const std::size_t first = file.texts.size();
        AddCompressedTexts(i + 1, runs, file.texts);
        for (std::size_t t = first; t < file.texts.size(); ++t)
            taken[i].emplace_back(file.texts[t].start, file.texts[t].end);
    }

    std::vector<Text> wide;
    double wideScore = 0;
    for (std::size_t i = 0; i < file.resources.size(); ++i)
        if (file.resources[i].readable)
            wideScore += FindRawTexts(i + 1, file.resources[i].data, taken[i], wide);

    // A narrow build: the compressed header, yet no compressed run, no
    // 16-bit text the pad rule vouches for, no LTEXT of 16-bit text that the
    // compiler keeps raw (it compresses all else in such a file), and its
    // bytes read better as 8-bit texts than as 16-bit ones.
    if (file.format == Format::Compressed)
        VouchForWholeResources(file.resources, wide);
    if (file.format == Format::Compressed && !anyBit && std::none_of(wide.begin(), wide.end(), ShowsUnicodeBuild)) {
        std::vector<Text> narrow;
        double narrowScore = 0;
        for (std::size_t i = 0; i < file.resources.size(); ++i)
            narrowScore += FindNarrowTexts(i + 1, file.resources[i].data, narrow);
        if (narrowScore > wideScore) {
            file.format = Format::Narrow;
            wide = std::move(narrow);
        }
    }
    if (file.format != Format::Narrow)
        GuessLastLettersLikeSiblings(file.resources, wide);
    // The compiler of a Unicode build compresses every text that gets
    // shorter so: a raw guess that would have is numbers.
    if (file.format == Format::Compressed)
        std::erase_if(wide, [&](const Text& t) {
            return !t.certain && WouldBeCompressed(t, file.resources[t.resource - 1], taken[t.resource - 1]);
        });
    file.texts.insert(file.texts.end(), wide.begin(), wide.end());
    std::stable_sort(file.texts.begin(), file.texts.end(), [](const Text& x, const Text& y) {
        return x.resource != y.resource ? x.resource < y.resource : x.start < y.start;
    });
    std::size_t index = 0;
    for (std::size_t i = 0; i < file.texts.size(); ++i) {
        index = (i > 0 && file.texts[i - 1].resource == file.texts[i].resource) ? index + 1 : 1;
        file.texts[i].index = index;
    }
    return file;
}

} // namespace tavolin::resource
