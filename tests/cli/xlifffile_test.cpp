#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "cli/clirun.h"
#include "cli/pofile.h"
#include "cli/xlifffile.h"
#include "testutil.h"

namespace tavolin {
namespace {

// Texts a reader of XML could change: white space at the ends or alone,
// line ends of each kind, markup characters, every script, characters
// outside the BMP, and characters XML cannot hold.
const std::vector<std::string> kTrickyTexts = {
    "",
    "  two spaces at each end  ",
    "   ",
    "\t",
    "\n",
    "\r",
    "\r\n",
    "a\r\nb\rc\nd\n\n",
    " \r\n\t ",
    "& < > \" ' ]]> &amp; &#13;",
    "<ph id=\"1\" ctype=\"x-tavolin-char\">U+001F</ph> U+001F",
    "Zoë, Ça, Łódź",
    "Привет, мир! Проверка",
    "Καλημέρα κόσμε",
    "สวัสดีชาวโลก",
    "你好，世界",
    "مرحبا بالعالم",
    "😀 𝄞 \xF0\x90\x80\x80",
    "\x1F",
    "a\x01" "b\x08\x0B\x0C\x1F" "c",
    std::string("\0nul\0", 5),
    "\xEF\xBF\xBE\xEF\xBF\xBF",
    "\xC2\x85 \xE2\x80\xA8 \xC2\xA0",
};

XliffDocument TrickyDocument()
{
    XliffDocument document;
    document.original = "tricky.rsc";
    document.targetLanguage = "ru";
    for (std::size_t i = 0; i < kTrickyTexts.size(); ++i) {
        const std::string id = "1." + std::to_string(i + 1);
        std::optional<std::size_t> width;
        if (i % 2 == 0)
            width = 255;
        document.units.push_back({id, kTrickyTexts[i], width, i % 3 == 0 ? "LTEXT & <TBUF>, " + id : ""});
    }
    return document;
}

TEST(XliffFile, TrickyTextsComeBackExactly)
{
    const XliffDocument document = TrickyDocument();
    const std::string text = XliffText(document, "1.0");
    EXPECT_TRUE(text.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xliff version=\"1.2\""));
    EXPECT_TRUE(LooksLikeXml(text));
    const std::vector<XliffEntry> entries = ReadXliff(text, "tricky.xlf");
    ASSERT_EQ(entries.size(), document.units.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(document.units[i].id);
        EXPECT_EQ(entries[i].original, "tricky.rsc");
        EXPECT_EQ(entries[i].id, document.units[i].id);
        EXPECT_EQ(entries[i].source, document.units[i].source);
        EXPECT_EQ(entries[i].target, "");
        EXPECT_EQ(entries[i].state, std::nullopt);
        EXPECT_EQ(entries[i].note, document.units[i].note);
    }
}

TEST(XliffFile, WritesOneFileWithItsAttributes)
{
    XliffDocument document;
    document.original = "app.rsc";
    document.units = {{"2", "Hi", 12, ""}};
    const std::string text = XliffText(document, "0.9");
    for (const char* part : {"<file original=\"app.rsc\" source-language=\"en\" datatype=\"plaintext\">",
                             "tool-version=\"0.9\"", "<trans-unit id=\"2\" maxwidth=\"12\" size-unit=\"char\">",
                             "<source xml:space=\"preserve\">Hi</source>"})
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    EXPECT_EQ(text.find("target-language"), std::string::npos);
    EXPECT_EQ(text.find("<note"), std::string::npos);

    // What XML cannot hold outside a text is refused rather than written broken.
    document.original = "a\x01.rsc";
    EXPECT_THROW((void)XliffText(document, "0.9"), std::invalid_argument);
    document.original = "app.rsc";
    document.units[0].source = "\xC3";
    EXPECT_THROW((void)XliffText(document, "0.9"), std::invalid_argument);
}

TEST(XliffFile, TellsXmlFromPo)
{
    EXPECT_TRUE(LooksLikeXml("<?xml version=\"1.0\"?><xliff/>"));
    EXPECT_TRUE(LooksLikeXml("\xEF\xBB\xBF \r\n\t<xliff/>"));
    EXPECT_FALSE(LooksLikeXml("msgid \"\"\nmsgstr \"\"\n"));
    EXPECT_FALSE(LooksLikeXml("# <comment>\n"));
    EXPECT_FALSE(LooksLikeXml(" \n"));
    EXPECT_FALSE(LooksLikeXml("\xFF\xFE<\0"));
}

// One line per entry: id|source|target|state|note, "-" for what is absent.
std::string Describe(const std::vector<XliffEntry>& entries)
{
    std::string out;
    for (const XliffEntry& e : entries)
        out += e.original + ":" + e.id.value_or("-") + "|" + e.source + "|" + e.target.value_or("-") + "|" +
               e.state.value_or("-") + "|" + e.note + "\n";
    return out;
}

// Units from line 2 on.
std::string InFile(const std::string& units)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<xliff version=\"1.2\" xmlns=\"urn:oasis:names:tc:xliff:document:1.2\">"
           "<file original=\"f.rsc\" source-language=\"en\" datatype=\"plaintext\"><body>" +
           units + "</body></file></xliff>\n";
}

std::string Unit(const std::string& id, const std::string& inside)
{
    return "<trans-unit id=\"" + id + "\"><source>s</source>" + inside + "</trans-unit>";
}

struct ReadCase {
    const char* what;
    std::string bytes;
    std::string expected; // Describe's lines, or the message of the refusal
};

TEST(XliffFile, ReadsWhatCatToolsWriteAndRefusesWhatATextCannotHold)
{
    const std::vector<ReadCase> cases = {
        {"states and a missing target",
         InFile(Unit("1", "<target>a</target>") + Unit("2", "<target state=\"translated\">b</target>") +
                Unit("3", "<target state=\"needs-review-translation\"/>") + Unit("4", "")),
         "f.rsc:1|s|a|-|\nf.rsc:2|s|b|translated|\nf.rsc:3|s||needs-review-translation|\nf.rsc:4|s|-|-|\n"},
        {"units in groups at any depth, in document order",
         InFile("<group id=\"g\"><group>" + Unit("1", "") + "</group>" + Unit("2", "") + "</group>" + Unit("3", "") +
                "<bin-unit id=\"b\" mime-type=\"image/png\"/>"),
         "f.rsc:1|s|-|-|\nf.rsc:2|s|-|-|\nf.rsc:3|s|-|-|\n"},
        {"marks and groups of inline text, our placeholder",
         InFile(Unit("1", "<target state=\"final\">x<mrk mtype=\"seg\" mid=\"0\">y<g id=\"1\">z<mrk "
                          "mtype=\"protected\"> </mrk></g></mrk>w<ph id=\"1\" ctype=\"x-tavolin-char\">U+001f</ph>"
                          "</target>")),
         "f.rsc:1|s|xyz w\x1F|final|\n"},
        {"references, CDATA, line ends, seg-source, alt-trans and notes",
         InFile("<trans-unit id=\"a&amp;b\"><source>1&#13;&#xA;2\r\n3&#x1F600;</source><seg-source><mrk "
                "mtype=\"seg\"><bpt id=\"1\"/></mrk></seg-source><target>&lt;<![CDATA[&amp;\r]]>&apos;&quot;&gt;"
                "</target><note from=\"developer\">n1</note><alt-trans><target>other</target></alt-trans>"
                "<note>n2</note></trans-unit>"),
         "f.rsc:a&b|1\r\n2\n3\xF0\x9F\x98\x80|<&amp;\n'\">|-|n1\nn2\n"},
        {"a unit without an id, and a second file",
         "<xliff version=\"1.2\"><file original=\"1.rsc\"><body><trans-unit><source/></trans-unit></body></file>"
         "<file original=\"2.rsc\"><body>" +
             Unit("7", "") + "</body></file></xliff>",
         "1.rsc:-||-|-|\n2.rsc:7|s|-|-|\n"},
        {"XLIFF under a prefix",
         "\xEF\xBB\xBF<x:xliff xmlns:x=\"urn:oasis:names:tc:xliff:document:1.2\" version=\"1.2\"><x:file "
         "original=\"p\"><x:body><x:trans-unit id=\"1\"><x:source>s</x:source><x:target><x:g "
         "id=\"1\">t</x:g></x:target><target>not XLIFF's</target></x:trans-unit></x:body></x:file></x:xliff>",
         "p:1|s|t|-|\n"},

        {"a paired code", InFile("\n" + Unit("3.2", "<target>a<bpt id=\"1\">&lt;b&gt;</bpt></target>")),
         "f.xlf: line 3: unit 3.2: <bpt> in its target: inline codes cannot be saved in a resource text"},
        {"a placeholder of another kind", InFile(Unit("4", "<target><ph id=\"1\">{0}</ph></target>")),
         "f.xlf: line 2: unit 4: <ph> in its target: inline codes cannot be saved in a resource text"},
        {"a code in the source",
         InFile("<trans-unit><source>a\n<x id=\"1\"/></source></trans-unit>"),
         "f.xlf: line 3: a unit without an id: <x> in its source: inline codes cannot be saved in a resource text"},
        {"a placeholder that holds no character",
         InFile(Unit("5", "<target><ph id=\"1\" ctype=\"x-tavolin-char\">U+D800</ph></target>")),
         "f.xlf: line 2: unit 5: a character placeholder in its target holds \"U+D800\", not a character"},
        {"no source", InFile("<trans-unit id=\"6\"><target/></trans-unit>"), "f.xlf: line 2: unit 6: no <source>"},
        {"an entity of a DTD",
         "<!DOCTYPE xliff [<!ENTITY e \"zz\">]>\n<xliff version=\"1.2\"><file><body>" +
             Unit("1", "<target>a\n&e;</target>") + "</body></file></xliff>",
         "f.xlf: line 3: &e; is not an entity XML defines (a document's own entities are not read)"},
        {"references with leading zeros", InFile(Unit("1", "<target>&#0000000065;&#x0000000042;</target>")),
         "f.rsc:1|s|AB|-|\n"},
        {"a reference beyond Unicode", InFile(Unit("1", "<target>&#x00110000;</target>")),
         "f.xlf: line 2: &#x00110000; is a character XML cannot hold"},
        {"a NUL reference", InFile(Unit("1", "<target>a&#0;b</target>")),
         "f.xlf: line 2: &#0; is a character XML cannot hold"},
        {"a bare ampersand", InFile(Unit("1", "<target>a & b</target>")),
         "f.xlf: line 2: a '&' that starts no reference (write &amp;)"},
        {"broken XML", InFile("\n\n" + Unit("1", "<target>a</source>")),
         "f.xlf: line 4: not well-formed XML: Start-end tags mismatch"},
        {"not XML", "msgid \"\"\n", "f.xlf: not XML: no element in it"},
        {"another root", "<html><body/></html>", "f.xlf: line 1: not XLIFF: its root element is <html>"},
        {"XLIFF 2.0", "<xliff version=\"2.0\" xmlns=\"urn:oasis:names:tc:xliff:document:2.0\"/>",
         "f.xlf: line 1: not XLIFF 1.1 or 1.2 but version 2.0"},
        {"two roots", "<xliff version=\"1.2\"/>\n<xliff version=\"1.2\"/>",
         "f.xlf: line 2: not well-formed XML: a second root element <xliff>"},
        {"not UTF-8", InFile(Unit("1", "<target>\n\xE9t\xE9</target>")), "f.xlf: line 3: not valid UTF-8"},
        {"another encoding", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<xliff version=\"1.2\"/>",
         "f.xlf: line 1: in ISO-8859-1; save it as UTF-8"},
        {"UTF-16", std::string("\xFF\xFE<\0x\0", 6), "f.xlf: in UTF-16; save it as UTF-8"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            EXPECT_EQ(Describe(ReadXliff(c.bytes, "f.xlf")), c.expected);
        } catch (const PoError& e) {
            EXPECT_EQ(e.what(), c.expected);
        }
    }
}

// translate-toolkit (lxml) reads what export writes; its PO goes through
// the project's own reader.
TEST(XliffFile, TranslateToolkitReadsTheTextsBack)
{
    if (std::system("xliff2po --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xliff2po not found (Debian package translate-toolkit): not checked";
    const test::TempDir dir;
    const XliffDocument document = TrickyDocument();
    std::ofstream(dir.Path() / "in.xlf", std::ios::binary) << XliffText(document, "1.0");
    const std::string command = "cd '" + dir.Path().string() +
                                "' && xliff2po --progress=none -i in.xlf -o out.po >log 2>&1";
    if (std::system(command.c_str()) != 0) {
        const test::Bytes log = test::ReadAll(dir.Path() / "log");
        FAIL() << "xliff2po failed: " << std::string(log.begin(), log.end());
    }
    const std::vector<PoEntry> entries = PoFile::Read((dir.Path() / "out.po").string());
    ASSERT_EQ(entries.size(), document.units.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const XliffUnit& unit = document.units[i];
        SCOPED_TRACE(unit.id);
        // A character XML cannot hold reaches a PO file as its placeholder's text.
        std::string expected = test::ShownByOtherXmlReaders(unit.source);
        if (expected == "\xEF\xBF\xBE\xEF\xBF\xBF")
            expected = "U+FFFEU+FFFF";
        EXPECT_EQ(entries[i].msgid, expected);
        EXPECT_EQ(entries[i].msgstr, "");
        EXPECT_EQ(entries[i].comment, unit.note.empty() ? "" : unit.note + "\n");
    }
}

} // namespace
} // namespace tavolin
