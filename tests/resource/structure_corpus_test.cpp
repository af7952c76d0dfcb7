// The structure codec against the compiler's own output: the texts it wrote
// (truth/), the files it wrote after edits (edits/), and every sample file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "resource/resourcefile.h"
#include "resource/scsu.h"
#include "resource/utf.h"
#include "testutil.h"

namespace tavolin::resource {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

// A folder of compiled files with their true texts and edit cases, and the
// folder that the truth files' "file" paths start from.
struct DataSet {
    fs::path dir;
    fs::path filesFrom;
};

// The sets that are there: the corpus's own, and the one of old-format and
// narrow builds beside the corpus.
std::vector<DataSet> DataSets()
{
    std::vector<DataSet> sets;
    const fs::path corpus = test::CorpusDir();
    if (corpus.empty())
        return sets;
    if (fs::is_directory(corpus / "structure"))
        sets.push_back({corpus / "structure", corpus});
    if (fs::is_directory(corpus.parent_path() / "structure2"))
        sets.push_back({corpus.parent_path() / "structure2", corpus.parent_path()});
    return sets;
}

#define REQUIRE_STRUCTURE()                                                                          \
    do {                                                                                             \
        if (DataSets().size() < 2)                                                                   \
            GTEST_SKIP() << "structure test data not found under " TAVOLIN_CORPUS_DIR "/structure " \
                            "and " TAVOLIN_CORPUS_DIR "/../structure2";                              \
    } while (0)

nlohmann::json ReadJson(const fs::path& path)
{
    std::ifstream in(path);
    return nlohmann::json::parse(in);
}

struct TruthText {
    std::size_t resource;
    std::size_t index;
    std::string kind;
    std::u16string text;
};

std::vector<TruthText> TruthOf(const nlohmann::json& truth)
{
    std::vector<TruthText> out;
    for (const auto& t : truth["texts"])
        out.push_back({t["resource"].get<std::size_t>(), t["index"].get<std::size_t>(), t["kind"].get<std::string>(),
                       Utf8ToUtf16(t["text"].get<std::string>()).value()});
    return out;
}

// The file read through a copy in a temporary folder (the corpus is
// read-only and stays untouched).
ResourceFile ReadCopy(const fs::path& path)
{
    const test::TempDir dir;
    const auto copy = dir.Path() / "copy.rsc";
    fs::copy_file(path, copy);
    return ReadResourceFile(test::ReadAll(copy));
}

// Each truth file of every set with the compiled file it describes.
std::vector<std::pair<fs::path, fs::path>> TruthFiles()
{
    std::vector<std::pair<fs::path, fs::path>> out;
    for (const auto& set : DataSets())
        for (const auto& e : fs::recursive_directory_iterator(set.dir / "truth"))
            if (e.path().extension() == ".json")
                out.emplace_back(e.path(), set.filesFrom / ReadJson(e.path())["file"].get<std::string>());
    std::sort(out.begin(), out.end());
    return out;
}

// The found text standing for each non-empty true text: the next one in
// file order of its resource with the same characters.
std::map<std::size_t, const Text*> Match(const ResourceFile& file, const std::vector<TruthText>& truth)
{
    std::map<std::size_t, const Text*> found;
    std::map<std::size_t, std::size_t> next; // per resource: texts of the file used up
    for (std::size_t i = 0; i < truth.size(); ++i) {
        if (truth[i].text.empty())
            continue;
        std::size_t& from = next[truth[i].resource];
        std::size_t seen = 0;
        for (const auto& t : file.texts) {
            if (t.resource != truth[i].resource || seen++ < from)
                continue;
            if (t.text == truth[i].text) {
                found[i] = &t;
                from = seen;
                break;
            }
        }
    }
    return found;
}

// A compiled file's folder and name, as the figures' notes name it.
std::string ShortName(const fs::path& path)
{
    return (path.parent_path().filename() / path.filename()).string();
}

double Percent(std::size_t part, std::size_t whole)
{
    return whole == 0 ? 0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole);
}

// What the reader made of the files of one format.
struct Figures {
    std::size_t found = 0;
    std::size_t total = 0; // non-empty true texts
    std::size_t guessed = 0;
    std::size_t wrongGuesses = 0;
    std::size_t wrongCertain = 0;
};

// Certain texts are all true, compressed runs and padded LTEXTs are all
// certain, nearly every true text is found and nearly every guess is a
// true text, in every format.
TEST(StructureCorpus, TextsAgainstTheTruth)
{
    REQUIRE_STRUCTURE();
    std::map<std::string, Figures> figures;
    for (const auto& [truthPath, rscPath] : TruthFiles()) {
        SCOPED_TRACE(truthPath.string());
        const auto truthJson = ReadJson(truthPath);
        const auto truth = TruthOf(truthJson);
        const ResourceFile file = ReadCopy(rscPath);
        const std::string format = truthJson.value("narrow", false) ? "narrow" : truthJson["format"];
        EXPECT_EQ(FormatName(file.format), format);
        Figures& f = figures[format];

        const auto found = Match(file, truth);
        std::vector<const Text*> matched;
        matched.reserve(found.size());
        for (const auto& [i, t] : found)
            matched.push_back(t);
        for (const auto& t : file.texts) {
            if (std::find(matched.begin(), matched.end(), &t) != matched.end())
                continue;
            // Not a true text (or a second copy of one).
            std::printf("  %s %s: %s %zu.%zu \"%s\"\n", t.certain ? "WRONG CERTAIN" : "wrong guess",
                        ShortName(rscPath).c_str(), KindName(t.kind), t.resource, t.index, Utf16ToUtf8(t.text).c_str());
            ++(t.certain ? f.wrongCertain : f.wrongGuesses);
        }
        f.guessed += static_cast<std::size_t>(
            std::count_if(file.texts.begin(), file.texts.end(), [](const Text& t) { return !t.certain; }));
        for (std::size_t i = 0; i < truth.size(); ++i) {
            if (truth[i].text.empty())
                continue;
            ++f.total;
            const auto it = found.find(i);
            if (it == found.end()) {
                // Not found: then it must not be an LTEXT whose pad
                // stands where the compiler puts one.
                if (truth[i].kind == "LTEXT" && truth[i].text.size() < 256 && !file.resources.empty() &&
                    file.resources.size() >= truth[i].resource) {
                    Bytes pattern{static_cast<std::uint8_t>(truth[i].text.size()), 0xAB};
                    for (const char16_t c : truth[i].text) {
                        pattern.push_back(static_cast<std::uint8_t>(c & 0xFF));
                        pattern.push_back(static_cast<std::uint8_t>(c >> 8));
                    }
                    const auto& data = file.resources[truth[i].resource - 1].data;
                    for (auto at = std::search(data.begin(), data.end(), pattern.begin(), pattern.end());
                         at != data.end(); at = std::search(at + 1, data.end(), pattern.begin(), pattern.end()))
                        EXPECT_NE((at - data.begin()) % 2, 0) << "a padded LTEXT is not found";
                }
                std::printf("  not found: %s %zu.%zu %s \"%s\"\n", ShortName(rscPath).c_str(), truth[i].resource,
                            truth[i].index, truth[i].kind.c_str(), Utf16ToUtf8(truth[i].text).c_str());
                continue;
            }
            ++f.found;
            const Text& t = *it->second;
            // A compressed run is certain.
            EXPECT_TRUE(!t.compressed || t.certain) << t.resource << "." << t.index;
        }
    }
    // What the reader reaches in each format, kept from falling back: the
    // least share of true texts found and the most of guesses not true.
    const std::map<std::string, std::pair<double, double>> floors{
        {"compressed", {99.2, 1.0}},
        {"old", {98.0, 2.0}},
        {"narrow", {97.5, 1.0}},
    };
    for (const auto& [format, f] : figures) {
        std::printf("%s: %zu of %zu non-empty true texts found (%.1f %%); %zu of %zu guesses not true texts "
                    "(%.1f %%); %zu certain texts wrong\n",
                    format.c_str(), f.found, f.total, Percent(f.found, f.total), f.wrongGuesses, f.guessed,
                    Percent(f.wrongGuesses, f.guessed), f.wrongCertain);
        EXPECT_EQ(f.wrongCertain, 0u) << format;
        const auto floor = floors.find(format);
        ASSERT_NE(floor, floors.end()) << format;
        EXPECT_GE(Percent(f.found, f.total), floor->second.first) << format;
        EXPECT_LE(Percent(f.wrongGuesses, f.guessed), floor->second.second) << format;
    }
    EXPECT_EQ(figures.size(), 3u);
}

// Every edit case: the compiler's bytes, or a refusal; never other bytes.
TEST(StructureCorpus, EditCasesGiveTheCompilersBytes)
{
    REQUIRE_STRUCTURE();
    std::size_t same = 0;
    std::size_t refused = 0;
    std::size_t notFound = 0;
    for (const auto& set : DataSets()) {
        for (const auto& e : fs::directory_iterator(set.dir / "edits")) {
            if (!e.is_directory())
                continue;
            const std::string name = e.path().filename().string();
            SCOPED_TRACE(name);
            const ResourceFile before = ReadCopy(e.path() / "before.rsc");
            const auto truth = TruthOf(ReadJson(set.dir / "truth" / "edits" / name / "before.json"));
            const auto found = Match(before, truth);
            std::vector<TextEdit> edits;
            bool all = true;
            for (const auto& edit : ReadJson(e.path() / "edits.json")) {
                const auto r = edit["resource"].get<std::size_t>();
                const auto i = edit["index"].get<std::size_t>();
                const auto at = std::find_if(truth.begin(), truth.end(),
                                             [&](const TruthText& t) { return t.resource == r && t.index == i; });
                ASSERT_NE(at, truth.end());
                const auto f = found.find(static_cast<std::size_t>(at - truth.begin()));
                if (f == found.end()) {
                    all = false;
                    break;
                }
                edits.push_back({r, f->second->index, Utf8ToUtf16(edit["text"].get<std::string>()).value()});
            }
            if (!all) {
                ++notFound;
                std::printf("  %s: an edited text is not found\n", name.c_str());
                continue;
            }
            try {
                const Bytes after = Rebuild(before, edits, true);
                EXPECT_TRUE(after == test::ReadAll(e.path() / "after.rsc")) << "bytes differ from the compiler's";
                ++same;
            } catch (const RebuildError& error) {
                ++refused;
                std::printf("  %s: refused: %s\n", name.c_str(), error.what());
            }
        }
    }
    std::printf("edit cases: %zu byte-identical, %zu refused, %zu with an edited text not found\n", same, refused,
                notFound);
    EXPECT_GT(same, 0u);
}

// Every text of every sample file edited to Chinese, to an emoji and to one
// character: the rebuilt file reads back in its own format with the new
// text at the same ID, certain where the old one was.
TEST(StructureCorpus, EditedTextsReadBack)
{
    TAVOLIN_REQUIRE_CORPUS();
    // Each replacement with the least share of texts that read back, kept
    // from falling back. A one-character text that the old format stores
    // raw ("X" as 58 00) reads as well as a number and proves nothing.
    const struct {
        std::string name;
        std::u16string text;
        double floor;
    } replacements[] = {
        {"Chinese", u"\u6587\u672c\u7f16\u8f91\u7a0b\u5e8f", 99.5},
        {"emoji", u"\U0001F600 \U0001F44D\U0001F3FD", 99.5},
        {"one character", u"X", 95.0},
    };
    const std::vector<fs::path> files = test::CorpusFiles();
    for (const auto& [name, replacement, floor] : replacements) {
        std::map<std::string, std::pair<std::size_t, std::size_t>> byFormat; // read back, of
        std::size_t refused = 0;
        for (const auto& path : files) {
            const ResourceFile file = ReadCopy(path);
            auto& [readBack, total] = byFormat[FormatName(file.format)];
            for (const auto& t : file.texts) {
                ++total;
                Bytes after;
                try {
                    after = Rebuild(file, {{t.resource, t.index, replacement}}, true);
                } catch (const RebuildError&) {
                    ++refused;
                    continue;
                }
                const ResourceFile back = ReadResourceFile(after);
                const auto it = std::find_if(back.texts.begin(), back.texts.end(), [&](const Text& x) {
                    return x.resource == t.resource && x.index == t.index;
                });
                if (back.format == file.format && it != back.texts.end() && it->text == replacement &&
                    (it->certain || !t.certain)) {
                    ++readBack;
                    continue;
                }
                std::printf("  %s: %s %s \"%s\" reads back %s\n", name.c_str(), ShortName(path).c_str(),
                            TextId(t).c_str(), Utf16ToUtf8(t.text).c_str(),
                            back.format != file.format ? FormatName(back.format)
                            : it == back.texts.end()   ? "without the ID"
                            : it->text != replacement  ? ("as \"" + Utf16ToUtf8(it->text) + "\"").c_str()
                                                       : "guessed");
            }
        }
        std::size_t readBack = 0;
        std::size_t total = 0;
        std::string figures;
        for (const auto& [format, counts] : byFormat) {
            readBack += counts.first;
            total += counts.second;
            figures += "; " + format + " " + std::to_string(counts.first) + " of " + std::to_string(counts.second);
        }
        std::printf("edited to %s: %zu of %zu texts read back (%.1f %%), %zu refused%s\n", name.c_str(), readBack,
                    total, Percent(readBack, total), refused, figures.c_str());
        EXPECT_GE(Percent(readBack, total), floor) << name;
    }
}

// The stored runs of a resource whose bit is set, compressed ones only.
std::vector<Bytes> CompressedRuns(const Bytes& stored)
{
    std::vector<Bytes> runs;
    bool compressed = true;
    for (std::size_t pos = 0; pos < stored.size(); compressed = !compressed) {
        std::size_t n = stored[pos++];
        if (n & 0x80 && pos < stored.size())
            n = (n & 0x7F) << 8 | stored[pos++];
        n = std::min(n, stored.size() - pos);
        if (compressed && n > 0)
            runs.emplace_back(stored.begin() + static_cast<std::ptrdiff_t>(pos),
                              stored.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
    }
    return runs;
}

// Every sample file reads; one of a resource format rebuilds without edits
// to its own bytes, and each compressed run re-encodes to itself.
TEST(StructureCorpus, EveryFileReadsAndRebuildsUnchanged)
{
    TAVOLIN_REQUIRE_CORPUS();
    std::map<std::string, std::size_t> formats;
    std::size_t runs = 0;
    std::size_t reencoded = 0;
    for (const auto& path : test::CorpusFiles()) {
        SCOPED_TRACE(path.string());
        const ResourceFile file = ReadCopy(path);
        ++formats[FormatName(file.format)];
        if (file.format == Format::Unknown)
            continue;
        EXPECT_TRUE(Rebuild(file, {}, false) == file.bytes);
        for (const auto& r : file.resources) {
            if (!r.compressedBit || !r.readable)
                continue;
            const Bytes stored(file.bytes.begin() + static_cast<std::ptrdiff_t>(r.offset),
                               file.bytes.begin() + static_cast<std::ptrdiff_t>(r.offset + r.size));
            for (const auto& run : CompressedRuns(stored)) {
                ++runs;
                const auto units = DecodeScsu(run);
                if (units && EncodeScsu(*units) == run) {
                    ++reencoded;
                    continue;
                }
                std::printf("  %s: a run does not re-encode to itself\n", path.filename().c_str());
                // Only the platform's deliberately invalid test files may.
                EXPECT_NE(path.filename().string().find("_Inv"), std::string::npos);
            }
        }
    }
    for (const auto& [format, n] : formats)
        std::printf("%s: %zu files\n", format.c_str(), n);
    std::printf("compressed runs re-encoded identically: %zu of %zu\n", reencoded, runs);
    EXPECT_GT(formats["compressed"], 0u);
}

} // namespace
} // namespace tavolin::resource
