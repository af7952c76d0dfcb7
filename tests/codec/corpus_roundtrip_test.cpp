#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cli/stringscli.h"
#include "codec/charconv.h"
#include "codec/writer.h"
#include "samebytes.h"
#include "testutil.h"

namespace tavolin {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

std::size_t Numbers(const std::string& gapRecord)
{
    std::size_t n = 0;
    std::istringstream in(gapRecord);
    for (std::string token; in >> token;)
        ++n;
    return n;
}

// The output expected of a patch-mode save without edits, worked out from
// where the tables say the slots lie: the same bytes, but each slot's
// characters decoded and encoded again, with U+0000 moved behind the text.
// Empty when the tables do not account for every byte of the file.
Bytes ExpectedPatch(const Bytes& in, const StringTables& t)
{
    std::size_t pos = Numbers(t.vle2.ValueOf("0"));
    Bytes out(in.begin(), in.begin() + static_cast<long>(std::min(pos, in.size())));
    for (std::size_t k = 1; k <= t.vle3.EntryCount(); ++k) {
        const std::string id = std::to_string(k);
        const auto capacity = static_cast<std::size_t>(std::stoi(t.vle3.ValueOf(id)));
        if (pos + 2 + 2 * capacity > in.size() || in[pos + 1] != 0xAB)
            return {};
        out.insert(out.end(), {in[pos], in[pos + 1]});
        std::size_t kept = 0;
        for (std::size_t c = 0; c < capacity; ++c) {
            const std::uint8_t t8 = DecodeChar(in[pos + 2 + 2 * c], in[pos + 3 + 2 * c]);
            if (t8 == 0)
                continue;
            const FileChar fc = EncodeChar(t8);
            out.insert(out.end(), {fc.low, fc.high});
            ++kept;
        }
        out.insert(out.end(), 2 * (capacity - kept), 0);
        pos += 2 + 2 * capacity;
        const std::size_t gap = Numbers(t.vle2.ValueOf(id));
        if (pos + gap > in.size())
            return {};
        out.insert(out.end(), in.begin() + static_cast<long>(pos), in.begin() + static_cast<long>(pos + gap));
        pos += gap;
    }
    return pos == in.size() ? out : Bytes{};
}

TEST(ResaveCorpus, FilesComeBackChangedOnlyInTheirStrings)
{
    TAVOLIN_REQUIRE_CORPUS();
    const test::TempDir dir;
    int identical = 0;
    int changedInStrings = 0;
    for (const auto& file : test::CorpusFiles()) {
        SCOPED_TRACE(file.string());
        const Bytes in = test::ReadAll(file);
        // Keep "caption" in the copy's name: it picks the mode.
        const std::string copy = dir.Write(file.filename().string(), in);
        const std::string out = (dir.Path() / "out.rsc").string();
        std::ostringstream stdOut, stdErr;
        const int code = RunStringsCli({"resave", copy, "-o", out}, stdOut, stdErr);
        EXPECT_TRUE(test::SameBytes(test::ReadAll(copy), in)) << "-o must leave FILE alone";
        const auto scanned = test::ScanPath(copy);
        if (!scanned.error.empty()) {
            EXPECT_EQ(code, 1);
            EXPECT_EQ(stdErr.str(), copy + ": " + scanned.error + "\n");
            continue;
        }
        if (IsCaptionPath(copy)) {
            if (code == 0) {
                EXPECT_TRUE(test::SameBytes(test::ReadAll(out), BuildCaptionFile(scanned.tables.vle)));
            }
            continue;
        }
        ASSERT_EQ(code, 0) << stdErr.str();
        // resave writes as it scans; it must write what saving the tables writes.
        EXPECT_TRUE(test::SameBytes(test::ReadAll(out), BuildPatchFile(scanned.tables.vle, scanned.tables.vle2,
                                                                       scanned.tables.vle3)));
        const Bytes expected = ExpectedPatch(in, scanned.tables);
        if (expected.empty())
            continue; // a marker right behind a string: the layout itself differs
        const Bytes written = test::ReadAll(out);
        EXPECT_TRUE(test::SameBytes(written, expected));
        (written == in ? identical : changedInStrings)++;
    }
    // The compressed files hold no string and come back whole; the old format
    // holds strings, some of them with characters that change.
    EXPECT_GE(identical, 80);
    EXPECT_GE(changedInStrings, 5);
}

TEST(ResaveCorpus, KnownFiles)
{
    TAVOLIN_REQUIRE_CORPUS();
    const test::TempDir dir;
    const auto resave = [&](const std::string& name, const std::string& as) {
        const Bytes in = test::ReadAll(test::CorpusDir() / name);
        const std::string copy = dir.Write(as, in);
        std::ostringstream out, err;
        EXPECT_EQ(RunStringsCli({"resave", copy}, out, err), 0) << err.str();
        EXPECT_EQ(out.str() + err.str(), "");
        return std::make_pair(in, test::ReadAll(copy));
    };
    // Caption mode rebuilds this one exactly.
    auto [in, out] = resave("compiled/torch_caption_v6.rsc", "torch_caption_v6.rsc");
    EXPECT_EQ(out, in);
    // A compressed file without any marker: gap record "0" alone, whole.
    std::tie(in, out) = resave("guardian/204_8_KPN.rsc", "kpn.rsc");
    EXPECT_EQ(out, in);
    // The same caption file under a name without "caption" is patched, and
    // comes back as well.
    std::tie(in, out) = resave("compiled/torch_caption_v6.rsc", "torch.rsc");
    EXPECT_EQ(out, in);
}

TEST(ResaveCli, FailuresPrintTheMessageAndLeaveTheFile)
{
    const test::TempDir dir;
    std::ostringstream out, err;
    EXPECT_EQ(RunStringsCli({"resave", (dir.Path() / "none.rsc").string()}, out, err), 1);
    EXPECT_EQ(err.str(), (dir.Path() / "none.rsc").string() + ": File not found\n");

    const Bytes bytes = {1, 171, 'A', 0};
    const std::string file = dir.Write("a.rsc", bytes);
    std::ostringstream err2;
    EXPECT_EQ(RunStringsCli({"resave", file, "-o", (dir.Path() / "x" / "y.rsc").string()}, out, err2), 1);
    EXPECT_EQ(err2.str(), (dir.Path() / "x" / "y.rsc").string() + ": Invalid filename\n");
    EXPECT_EQ(test::ReadAll(file), bytes);
}

} // namespace
} // namespace tavolin
