#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <nlohmann/json.hpp>

#include "cli/clirun.h"
#include "document/readback.h"
#include "resource/resourcefile.h"
#include "resource/utf.h"
#include "testutil.h"

namespace tavolin {
namespace {

// Each text's new text in seven ways: shorter, longer, one character,
// empty, Chinese, emoji, with a line feed.
std::vector<std::u16string> SevenEdits(const std::u16string& text)
{
    return {text.substr(0, text.size() / 2), text + u" and more", u"Z", u"", u"中文翻译", u"\U0001F600 ok",
            text.substr(0, text.size() / 2) + u"\n" + text.substr(text.size() / 2)};
}

struct Listed {
    std::u16string text;
    resource::TextKind kind;
    bool certain;
    bool operator==(const Listed&) const = default;
};
// Under the sanitizers the sweep takes half a minute: there each text gets
// one of the seven edits in turn, every kind still met thousands of times.
constexpr bool kSampled = test::kSanitized;

using Listing = std::map<std::string, Listed>;

Listing ListingOf(const resource::ResourceFile& file)
{
    Listing listing;
    for (const auto& t : file.texts)
        listing[resource::TextId(t)] = {t.text, t.kind, t.certain};
    return listing;
}

// Over every text of the corpus, each single edit is either refused or
// reads back with every text at its ID: the edited one with its new text,
// the others as they were, certain ones still certain. The whole sweep runs
// through the rebuild and the read-back (sampled under the sanitizers, see
// kSampled); some forty edits also through `apply` in place, which must
// leave a refused file as it was.
TEST(EditSweep, EverySingleEditIsRefusedOrReadsBackAtItsIds)
{
    TAVOLIN_REQUIRE_CORPUS();
    std::size_t edits = 0;
    std::size_t refusedByRebuild = 0;
    std::size_t refusedByReadBack = 0;
    std::size_t throughApply = 0;
    const auto start = std::chrono::steady_clock::now();
    const test::TempDir dir;
    for (const auto& path : test::CorpusFiles()) {
        const test::Bytes bytes = test::ReadAll(path);
        const resource::ResourceFile file = resource::ReadResourceFile(bytes);
        if (file.format == resource::Format::Unknown)
            continue;
        SCOPED_TRACE(path.string());
        const Listing before = ListingOf(file);
        for (const auto& t : file.texts) {
            const auto seven = SevenEdits(t.text);
            for (std::size_t kind = 0; kind < seven.size(); ++kind) {
                if (kSampled && kind != (t.resource + t.index) % seven.size())
                    continue;
                const std::u16string& text = seven[kind];
                const std::string id = resource::TextId(t);
                const std::vector<resource::TextEdit> edit = {{t.resource, t.index, text}};
                ++edits;
                std::vector<std::uint8_t> rebuilt;
                try {
                    rebuilt = resource::Rebuild(file, edit, true);
                } catch (const resource::RebuildError&) {
                    ++refusedByRebuild;
                    continue;
                }
                const auto differences = ReadBackDifferences(file, edit, rebuilt);
                Listing meant = before;
                meant[id].text = text;
                Listing after = ListingOf(resource::ReadResourceFile(rebuilt));
                // A guessed text may read as certain; it is still where it was.
                for (auto& [key, value] : after)
                    if (meant.contains(key) && !meant[key].certain)
                        value.certain = false;
                EXPECT_EQ(differences.empty(), after == meant) << id << ": " << DifferencesText(differences);
                if (!differences.empty())
                    ++refusedByReadBack;
                if (edits % (kSampled ? 60 : 400) != 0)
                    continue;
                ++throughApply;
                const std::string copy = dir.Write("f.rsc", bytes);
                const std::string json = (dir.Path() / "e.json").string();
                test::WriteText(json, nlohmann::json{{id, resource::Utf16ToUtf8(text)}}.dump());
                const test::CliRun run = test::Cli({"apply", copy, json, "--allow-guessed"});
                EXPECT_EQ(run.code, differences.empty() ? 0 : 1) << id << run.err;
                if (differences.empty()) {
                    EXPECT_EQ(test::ReadAll(copy), rebuilt);
                } else {
                    EXPECT_EQ(test::ReadAll(copy), bytes);
                    EXPECT_NE(run.err.find(differences.front().id + ": "), std::string::npos) << run.err;
                }
            }
        }
    }
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(edits, kSampled ? 2000u : 10000u);
    std::printf("%zu single edits: %zu refused by the rebuild, %zu by the read-back, %zu saved; %zu through apply; "
                "%.1f s\n",
                edits, refusedByRebuild, refusedByReadBack, edits - refusedByRebuild - refusedByReadBack,
                throughApply, seconds);
}

} // namespace
} // namespace tavolin
