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

fs::path StructureDir()
{
    const fs::path corpus = test::CorpusDir();
    if (corpus.empty() || !fs::is_directory(corpus / "structure"))
        return {};
    return corpus / "structure";
}

#define REQUIRE_STRUCTURE()                                                                      \
    do {                                                                                         \
        if (StructureDir().empty())                                                              \
            GTEST_SKIP() << "structure test data not found under " TAVOLIN_CORPUS_DIR "/structure"; \
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

// Each truth file with the compiled file it describes.
std::vector<std::pair<fs::path, fs::path>> TruthFiles(const std::string& folder)
{
    std::vector<std::pair<fs::path, fs::path>> out;
    const fs::path corpus = test::CorpusDir();
    for (const auto& e : fs::recursive_directory_iterator(StructureDir() / "truth" / folder))
        if (e.path().extension() == ".json")
            out.emplace_back(e.path(), corpus / ReadJson(e.path())["file"].get<std::string>());
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

struct Recall {
    std::size_t found = 0;
    std::size_t total = 0;
    [[nodiscard]] double Percent() const { return total == 0 ? 100 : 100.0 * static_cast<double>(found) / static_cast<double>(total); }
};

// Certain texts are all true, compressed runs and padded LTEXTs are all
// certain, and with the guesses nearly every text of the real files is found.
TEST(StructureCorpus, TextsAgainstTheTruth)
{
    REQUIRE_STRUCTURE();
    std::map<std::string, Recall> recall;
    for (const std::string folder : {"compiled", "sources", "edits"}) {
        for (const auto& [truthPath, rscPath] : TruthFiles(folder)) {
            SCOPED_TRACE(truthPath.string());
            const auto truthJson = ReadJson(truthPath);
            const auto truth = TruthOf(truthJson);
            const ResourceFile file = ReadCopy(rscPath);
            const std::string format = truthJson["format"];
            EXPECT_EQ(FormatName(file.format), truthJson.value("narrow", false) ? "narrow" : format);

            // No certain text that the truth does not hold in its resource.
            for (const auto& t : file.texts) {
                if (!t.certain)
                    continue;
                const bool held = std::any_of(truth.begin(), truth.end(), [&](const TruthText& x) {
                    return x.resource == t.resource && x.text == t.text;
                });
                EXPECT_TRUE(held) << "certain text " << t.resource << "." << t.index << " \"" << Utf16ToUtf8(t.text)
                                  << "\" is not in the truth";
            }
            const auto found = Match(file, truth);
            Recall& r = recall[folder];
            for (std::size_t i = 0; i < truth.size(); ++i) {
                if (truth[i].text.empty())
                    continue;
                ++r.total;
                const auto it = found.find(i);
                if (it == found.end()) {
                    // Not found: then it must not be an LTEXT whose pad
                    // stands where the compiler puts one.
                    if (truth[i].kind == "LTEXT" && truth[i].text.size() < 256 &&
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
                    std::printf("  not found: %s %zu.%zu %s \"%s\"\n", rscPath.filename().c_str(), truth[i].resource,
                                truth[i].index, truth[i].kind.c_str(), Utf16ToUtf8(truth[i].text).c_str());
                    continue;
                }
                ++r.found;
                const Text& t = *it->second;
                // A compressed run, or an LTEXT whose pad stands where the
                // compiler puts one, is certain.
                const auto& data = file.resources[t.resource - 1].data;
                const bool padded = t.kind == TextKind::Ltext && t.start % 2 == 0 && t.chars == t.start + 2 &&
                                    data[t.start + 1] == 0xAB;
                if (t.compressed || (padded && truth[i].kind == "LTEXT")) {
                    EXPECT_TRUE(t.certain) << t.resource << "." << t.index;
                }
            }
        }
    }
    for (const auto& [folder, r] : recall)
        std::printf("recall %s: %zu of %zu non-empty true texts (%.1f %%)\n", folder.c_str(), r.found, r.total,
                    r.Percent());
    EXPECT_GE(recall["compiled"].Percent(), 95.0);
}

// Every edit case: the compiler's bytes, or a refusal; never other bytes.
TEST(StructureCorpus, EditCasesGiveTheCompilersBytes)
{
    REQUIRE_STRUCTURE();
    std::size_t same = 0;
    std::size_t refused = 0;
    std::size_t notFound = 0;
    for (const auto& e : fs::directory_iterator(StructureDir() / "edits")) {
        if (!e.is_directory())
            continue;
        const std::string name = e.path().filename().string();
        SCOPED_TRACE(name);
        const ResourceFile before = ReadCopy(e.path() / "before.rsc");
        const auto truth = TruthOf(ReadJson(StructureDir() / "truth" / "edits" / name / "before.json"));
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
    std::printf("edit cases: %zu byte-identical, %zu refused, %zu with an edited text not found\n", same, refused,
                notFound);
    EXPECT_GT(same, 0u);
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
