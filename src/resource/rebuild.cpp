#include <algorithm>
#include <limits>
#include <map>
#include <optional>
#include <set>

#include "codec/displaytext.h"
#include "resource/resourcefile.h"
#include "resource/scsu.h"
#include "resource/textrules.h"

namespace tavolin::resource {

namespace {

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
constexpr std::size_t kMaxOffset = 0xFFFF;
constexpr std::size_t kMaxRun = 0x7FFF;
constexpr std::size_t kCompressedHeader = 19;

std::size_t RunLengthSize(std::size_t n)
{
    return n < 0x80 ? 1 : 2;
}

void PutRunLength(std::vector<std::uint8_t>& out, std::size_t n)
{
    if (n < 0x80) {
        out.push_back(static_cast<std::uint8_t>(n));
    } else {
        out.push_back(static_cast<std::uint8_t>(0x80 | n >> 8));
        out.push_back(static_cast<std::uint8_t>(n & 0xFF));
    }
}

// A stretch of an edited resource: bytes the reader did not take as text,
// or one text value.
struct Piece {
    const Text* text = nullptr; // null: other bytes
    std::vector<std::uint8_t> other;
    std::u16string units; // the value's characters, a TEXT's terminator included
    bool edited = false;
    std::size_t oldStart = 0;
    // Where the layout puts it: the value's first byte after an LTEXT's
    // length byte (where a pad would go), and whether it has a pad.
    std::size_t valueAt = 0;
    bool pad = false;
    std::vector<std::uint8_t> scsu;
    bool candidate = false;
    bool compressAnyway = false;
};

struct LaidOut {
    std::vector<std::uint8_t> stored;
    std::size_t decompressedSize = 0;
    bool compressedBit = false;
};

class ResourceLayout {
public:
    ResourceLayout(const ResourceFile& file, std::size_t resource, const std::map<std::size_t, std::u16string>& edits,
                   const std::set<std::size_t>& compressAnyway, bool allowGuessed)
        : m_file(file), m_allowGuessed(allowGuessed)
    {
        const Resource& r = file.resources[resource - 1];
        std::size_t pos = 0;
        for (const Text& t : file.texts) {
            if (t.resource != resource)
                continue;
            if (t.start > pos)
                AddOther(r.data, pos, t.start);
            Piece p;
            p.text = &t;
            const auto edit = edits.find(t.index);
            p.edited = edit != edits.end();
            p.units = p.edited ? edit->second : t.text;
            p.compressAnyway = p.edited && compressAnyway.contains(t.index);
            if (t.kind == TextKind::Text)
                p.units += u'\0';
            p.oldStart = t.start;
            m_pieces.push_back(std::move(p));
            pos = t.end;
        }
        if (pos < r.data.size())
            AddOther(r.data, pos, r.data.size());
    }

    LaidOut Lay()
    {
        Check();
        Place();
        LaidOut out;
        out.decompressedSize = m_size;
        if (m_size > kMaxOffset)
            throw RebuildError("resource " + std::to_string(ResourceNumber()) + " would be " + std::to_string(m_size) +
                               " bytes long; a resource holds at most 65535, " +
                               std::to_string(m_size - kMaxOffset) + " bytes fewer");
        if (m_file.format == Format::Compressed)
            Decide();
        const auto runs = Runs();
        if (runs.empty()) {
            for (const auto& p : m_pieces)
                AppendDecompressed(p, out.stored);
            return out;
        }
        out.compressedBit = true;
        for (const auto& run : runs) {
            if (run.size() > kMaxRun)
                throw RebuildError("resource " + std::to_string(ResourceNumber()) + " would need a run of " +
                                   std::to_string(run.size()) + " bytes; a run holds at most 32767");
            PutRunLength(out.stored, run.size());
            out.stored.insert(out.stored.end(), run.begin(), run.end());
        }
        return out;
    }

private:
    [[nodiscard]] std::size_t ResourceNumber() const
    {
        const auto it = std::find_if(m_pieces.begin(), m_pieces.end(), [](const Piece& p) { return p.text; });
        return it == m_pieces.end() ? 0 : it->text->resource;
    }

    void AddOther(const std::vector<std::uint8_t>& data, std::size_t from, std::size_t to)
    {
        Piece p;
        p.other.assign(data.begin() + static_cast<std::ptrdiff_t>(from), data.begin() + static_cast<std::ptrdiff_t>(to));
        p.oldStart = from;
        m_pieces.push_back(std::move(p));
    }

    // What no layout can hold.
    void Check() const
    {
        for (const auto& p : m_pieces) {
            if (!p.edited)
                continue;
            const Text& t = *p.text;
            if (!t.certain && !m_allowGuessed)
                throw RebuildError(TextId(t) + ": a guessed text, not certain to be one; edit it with --allow-guessed");
            if (t.kind == TextKind::Ltext && p.units.size() > 255)
                throw RebuildError(TextId(t) + ": an LTEXT holds at most 255 characters (UTF-16 units); the new text has " +
                                   std::to_string(p.units.size()));
            const auto nul = p.units.find(u'\0');
            if (nul != std::u16string::npos && !(t.kind == TextKind::Text && nul + 1 == p.units.size()))
                throw RebuildError(TextId(t) + ": the text holds U+0000, which would end it early");
            if (!t.wide) {
                const auto missing = std::find_if(p.units.begin(), p.units.end(),
                                                  [](char16_t c) { return c != 0 && !UnicodeToCp1252(c); });
                if (missing != p.units.end())
                    throw RebuildError(TextId(t) + ": " + CodePointName(*missing) +
                                       " has no byte in the 8-bit code page (Windows-1252) of this file");
            }
        }
    }

    [[nodiscard]] std::size_t ValueBytes(const Piece& p) const
    {
        return p.text->wide ? 2 * p.units.size() : p.units.size();
    }

    // Offsets and pads; an odd shift moves the pads of what follows, which
    // is sound only for texts the reader knows.
    void Place()
    {
        std::size_t at = 0;
        const Text* cause = nullptr;
        // Nothing of an 8-bit build is aligned: a shift by one byte moves no pad.
        const bool aligned = m_file.format != Format::Narrow;
        for (auto& p : m_pieces) {
            const bool oddShift = aligned && (at - p.oldStart) % 2 != 0;
            if (!p.text) {
                if (oddShift && MayHoldText(Data(), p.oldStart, p.oldStart + p.other.size()))
                    throw RebuildError(TextId(*cause) +
                                       ": the change between empty and non-empty moves the text after it by one "
                                       "byte, and what follows may hold a text the reader does not know, whose "
                                       "pad would have to move");
                at += p.other.size();
                continue;
            }
            if (oddShift && !p.edited && !p.text->certain && !m_allowGuessed)
                throw RebuildError(TextId(*cause) + ": the change moves the pad of guessed text " + TextId(*p.text) +
                                   "; allow guessed texts to trust it");
            if (p.edited)
                cause = p.text;
            if (p.text->kind == TextKind::Ltext)
                ++at;
            p.valueAt = at;
            p.pad = p.text->wide && !p.units.empty() && at % 2 != 0;
            at += (p.pad ? 1 : 0) + ValueBytes(p);
        }
        m_size = at;
    }

    [[nodiscard]] std::span<const std::uint8_t> Data() const
    {
        return m_file.resources[ResourceNumber() - 1].data;
    }

    // Which values the compiler stores compressed: each one that its
    // compressor makes smaller, then, resource-wide, only where the run
    // and the run lengths it costs are fewer bytes than the raw text.
    // A value to compress anyway is compressed whatever it costs.
    void Decide()
    {
        for (auto& p : m_pieces) {
            if (!p.text || !p.text->wide || p.units.empty())
                continue;
            p.scsu = EncodeScsu(p.units);
            if (p.scsu.size() >= 2 * p.units.size() && !p.compressAnyway)
                continue;
            const auto back = DecodeScsu(p.scsu);
            if (!back || *back != p.units) {
                if (p.edited)
                    throw RebuildError(TextId(*p.text) + ": the text holds a character the compressed form cannot carry");
                continue;
            }
            p.candidate = true;
        }
        for (;;) {
            std::vector<std::size_t> order; // compressed runs: piece index, kNone for the empty first run
            std::vector<std::size_t> following; // the size of the other-stuff run after each
            Walk(order, following);
            if (order.empty())
                break;
            bool changed = false;
            for (std::size_t k = order.size() > 1 ? 1 : 0; k < order.size(); ++k) {
                if (order[k] == kNone)
                    break; // only the empty first run: nothing compressed
                Piece& p = m_pieces[order[k]];
                const std::size_t c = p.scsu.size();
                const std::size_t o = following[k];
                const bool last = k + 1 == order.size();
                const std::size_t cost = RunLengthSize(c) + c + (last && o == 0 ? 0 : RunLengthSize(o));
                const std::size_t raw = 2 * p.units.size() + (p.valueAt % 2);
                if (cost >= raw && !p.compressAnyway) {
                    p.candidate = false;
                    changed = true;
                    break;
                }
            }
            if (!changed)
                break;
        }
        const auto guessed = std::find_if(m_pieces.begin(), m_pieces.end(), [&](const Piece& p) {
            return p.candidate && !p.edited && !p.text->certain && !m_allowGuessed;
        });
        if (guessed != m_pieces.end())
            throw RebuildError("resource " + std::to_string(guessed->text->resource) +
                               ": the compiler would now compress guessed text " + TextId(*guessed->text) +
                               "; allow guessed texts to trust it");
    }

    void AppendDecompressed(const Piece& p, std::vector<std::uint8_t>& out) const
    {
        if (!p.text) {
            out.insert(out.end(), p.other.begin(), p.other.end());
            return;
        }
        if (p.text->kind == TextKind::Ltext)
            out.push_back(static_cast<std::uint8_t>(p.units.size()));
        AppendValue(p, out);
    }

    void AppendValue(const Piece& p, std::vector<std::uint8_t>& out) const
    {
        if (p.pad)
            out.push_back(kPad);
        for (const char16_t c : p.units) {
            if (!p.text->wide) {
                out.push_back(*UnicodeToCp1252(c));
                continue;
            }
            out.push_back(static_cast<std::uint8_t>(c & 0xFF));
            out.push_back(static_cast<std::uint8_t>(c >> 8));
        }
    }

    // The compressed runs in order and the other-stuff run after each.
    void Walk(std::vector<std::size_t>& order, std::vector<std::size_t>& following) const
    {
        std::size_t other = 0;
        for (std::size_t i = 0; i < m_pieces.size(); ++i) {
            const Piece& p = m_pieces[i];
            if (!p.candidate) {
                other += p.text ? (p.text->kind == TextKind::Ltext ? 1 : 0) + (p.pad ? 1 : 0) + ValueBytes(p)
                                : p.other.size();
                continue;
            }
            if (p.text->kind == TextKind::Ltext)
                ++other;
            if (order.empty() && !(other == 0 && p.valueAt == 0)) {
                order.push_back(kNone);
                following.push_back(0);
            }
            if (!order.empty())
                following.back() = other;
            order.push_back(i);
            following.push_back(0);
            other = 0;
        }
        if (!order.empty())
            following.back() = other;
    }

    [[nodiscard]] std::vector<std::vector<std::uint8_t>> Runs() const
    {
        std::vector<std::vector<std::uint8_t>> runs;
        std::vector<std::uint8_t> other;
        for (const Piece& p : m_pieces) {
            if (!p.candidate) {
                AppendDecompressed(p, other);
                continue;
            }
            if (p.text->kind == TextKind::Ltext)
                other.push_back(static_cast<std::uint8_t>(p.units.size()));
            if (runs.empty() && !(other.empty() && p.valueAt == 0))
                runs.emplace_back();
            if (!runs.empty())
                runs.push_back(other);
            runs.push_back(p.scsu);
            other.clear();
        }
        if (!runs.empty() && !other.empty())
            runs.push_back(other);
        return runs;
    }

    const ResourceFile& m_file;
    bool m_allowGuessed;
    std::vector<Piece> m_pieces;
    std::size_t m_size = 0;
};

void PutWord(std::vector<std::uint8_t>& out, std::size_t at, std::size_t value)
{
    out[at] = static_cast<std::uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

using EditsByResource = std::map<std::size_t, std::map<std::size_t, std::u16string>>;
using IndicesByResource = std::map<std::size_t, std::set<std::size_t>>;

std::vector<std::uint8_t> LayOut(const ResourceFile& file, const EditsByResource& byResource,
                                 const IndicesByResource& compressAnyway, bool allowGuessed)
{
    std::vector<std::uint8_t> out(file.bytes.begin(), file.bytes.begin() + static_cast<std::ptrdiff_t>(file.headerSize));
    std::vector<std::size_t> index;
    std::size_t oldLargest = 0;
    std::size_t newLargest = 0;
    // The emulator's loader copies the stored bytes of a resource with its
    // bit set into a buffer of the largest-resource size plus one.
    std::size_t largestStored = 0;
    bool laidOut = false;
    const std::set<std::size_t> none;
    for (std::size_t i = 0; i < file.resources.size(); ++i) {
        const Resource& r = file.resources[i];
        index.push_back(out.size());
        oldLargest = std::max(oldLargest, r.data.size());
        const auto edited = byResource.find(i + 1);
        if (edited == byResource.end() || edited->second.empty()) {
            out.insert(out.end(), file.bytes.begin() + static_cast<std::ptrdiff_t>(r.offset),
                       file.bytes.begin() + static_cast<std::ptrdiff_t>(r.offset + r.size));
            newLargest = std::max(newLargest, r.data.size());
            if (r.compressedBit)
                largestStored = std::max(largestStored, r.size);
            continue;
        }
        const auto anyway = compressAnyway.find(i + 1);
        const LaidOut laid =
            ResourceLayout(file, i + 1, edited->second, anyway == compressAnyway.end() ? none : anyway->second,
                           allowGuessed)
                .Lay();
        laidOut = true;
        out.insert(out.end(), laid.stored.begin(), laid.stored.end());
        newLargest = std::max(newLargest, laid.decompressedSize);
        if (laid.compressedBit)
            largestStored = std::max(largestStored, laid.stored.size());
        if (file.format != Format::Old) {
            const auto bit = static_cast<std::uint8_t>(1u << (i % 8));
            std::uint8_t& bits = out[kCompressedHeader + i / 8];
            bits = static_cast<std::uint8_t>(laid.compressedBit ? bits | bit : bits & ~bit);
        }
    }
    const std::size_t p = out.size();
    if (p > kMaxOffset)
        throw RebuildError("the resources would end at offset " + std::to_string(p) +
                           ", past the 64 KiB that the file's 16-bit offsets reach, by " +
                           std::to_string(p - kMaxOffset) + " bytes");
    index.push_back(p);
    for (const std::size_t entry : index) {
        out.push_back(0);
        out.push_back(0);
        PutWord(out, out.size() - 2, entry);
    }
    if (file.format == Format::Old) {
        PutWord(out, 0, p);
    } else if (laidOut) {
        // The compiler writes the largest decompressed size; a file that
        // holds more keeps it, as long as every resource still fits.
        std::size_t largest = file.largest == oldLargest ? newLargest : std::max<std::size_t>(file.largest, newLargest);
        // Emoji compress to more bytes than they decode to: the emulator
        // would cut such a resource short, the platform only allocates more.
        if (largestStored > largest + 1)
            largest = largestStored - 1;
        PutWord(out, 17, largest);
    }
    return out;
}

} // namespace

std::vector<std::uint8_t> Rebuild(const ResourceFile& file, const std::vector<TextEdit>& edits, bool allowGuessed)
{
    if (file.format == Format::Unknown)
        throw RebuildError("the file is not a resource file of a known format; nothing can be rebuilt");
    EditsByResource byResource;
    for (const auto& e : edits) {
        const auto it = std::find_if(file.texts.begin(), file.texts.end(), [&](const Text& t) {
            return t.resource == e.resource && t.index == e.index;
        });
        if (it == file.texts.end())
            throw RebuildError(std::to_string(e.resource) + "." + std::to_string(e.index) + ": no such text in the file");
        if (it->text != e.text || !it->certain)
            byResource[e.resource][e.index] = e.text;
        else
            byResource[e.resource]; // an unchanged certain text: nothing to lay out
    }

    // The compiler stores a short text raw where compressing saves nothing,
    // and raw bytes such as "X" (58 00) read as well as a number: the reader
    // would lose the text or its IDs. Such an edited text is stored as a
    // compressed run instead, which the platform decompresses to the same
    // data and the reader knows for a text.
    const bool laidOut = std::any_of(byResource.begin(), byResource.end(),
                                     [](const auto& resource) { return !resource.second.empty(); });
    IndicesByResource compressAnyway;
    for (;;) {
        std::vector<std::uint8_t> out = LayOut(file, byResource, compressAnyway, allowGuessed);
        if (file.format != Format::Compressed || !laidOut)
            return out;
        const ResourceFile after = ReadResourceFile(out);
        std::set<std::size_t> readOtherwise;
        for (const auto& m : ReadBackMismatches(file, edits, after))
            readOtherwise.insert(m.was ? m.was->resource : m.now->resource);
        bool more = false;
        for (const auto& [resource, edited] : byResource) {
            if (edited.empty() || (after.format == file.format && !readOtherwise.contains(resource)))
                continue;
            for (const auto& [index, text] : edited)
                more = compressAnyway[resource].insert(index).second || more;
        }
        if (!more)
            return out;
    }
}

std::vector<ReadBackMismatch> ReadBackMismatches(const ResourceFile& before, const std::vector<TextEdit>& edits,
                                                 const ResourceFile& after)
{
    std::map<std::pair<std::size_t, std::size_t>, const std::u16string*> edited;
    for (const auto& e : edits)
        edited[{e.resource, e.index}] = &e.text;
    std::map<std::pair<std::size_t, std::size_t>, const Text*> found;
    for (const auto& t : after.texts)
        found[{t.resource, t.index}] = &t;

    std::vector<ReadBackMismatch> mismatches;
    for (const auto& t : before.texts) {
        const auto key = std::make_pair(t.resource, t.index);
        const auto edit = edited.find(key);
        const std::u16string& meant = edit != edited.end() ? *edit->second : t.text;
        const auto at = found.find(key);
        if (at == found.end()) {
            mismatches.push_back({ReadBackMismatch::What::Missing, &t, nullptr, meant});
            continue;
        }
        const Text& now = *at->second;
        found.erase(at);
        if (now.text != meant)
            mismatches.push_back({ReadBackMismatch::What::OtherText, &t, &now, meant});
        else if (now.kind != t.kind)
            mismatches.push_back({ReadBackMismatch::What::OtherKind, &t, &now, meant});
        else if (t.certain && !now.certain)
            mismatches.push_back({ReadBackMismatch::What::Guessed, &t, &now, meant});
    }
    // What is left was not there before.
    for (const auto& [key, t] : found)
        mismatches.push_back({ReadBackMismatch::What::Added, nullptr, t, {}});
    return mismatches;
}

} // namespace tavolin::resource
