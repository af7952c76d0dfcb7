#pragma once

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/stringscli.h"
#include "codec/displaytext.h"
#include "resource/resourcefile.h"
#include "resource/utf.h"
#include "testutil.h"

namespace tavolin::test {

struct CliRun {
    int code;
    std::string out;
    std::string err;
};

// Runs the command line in-process, with its streams captured.
inline CliRun Cli(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    const int code = RunStringsCli(args, out, err);
    return {code, out.str(), err.str()};
}

// Two strings in patch mode, in a file no resource format reads: ID 1 "Hi"
// in a slot of 3, ID 2 "ก\" in a slot of 2.
inline const Bytes kTwoPatchStrings = {16, 32, 7, 3, 171, 72, 0, 105, 0, 0, 0, 5, 2, 171, 1, 14, 10, 0, 9, 10, 4};

// A text as readers of XML other than ours show it: a control character
// XML cannot hold travels as a placeholder whose text is its U+XXXX name.
inline std::string ShownByOtherXmlReaders(const std::string& text)
{
    std::string shown;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
            shown += CodePointName(static_cast<unsigned char>(c));
        else
            shown += c;
    }
    return shown;
}

// The texts of a resource file read by structure, by ID, in UTF-8.
inline std::map<std::string, std::string> TextsOf(const Bytes& bytes)
{
    std::map<std::string, std::string> texts;
    for (const auto& t : resource::ReadResourceFile(bytes).texts)
        texts[resource::TextId(t)] = resource::Utf16ToUtf8(t.text);
    return texts;
}

inline std::map<std::string, std::string> TextsOf(const std::filesystem::path& path)
{
    return TextsOf(ReadAll(path));
}

// What `list` prints after its first line, which says how FILE is read.
inline std::string Listed(const std::string& file, const std::string& by = "marker")
{
    const std::string out = Cli({"list", file, "--by", by}).out;
    return out.substr(out.find('\n') + 1);
}

// An old-format file of one resource whose data are padded LTEXTs, each
// found for certain.
inline Bytes OldFormat(const std::vector<std::string>& ltexts)
{
    Bytes out(4);
    for (const auto& text : ltexts) {
        out.push_back(static_cast<std::uint8_t>(text.size()));
        out.push_back(0xAB);
        for (const char c : text) {
            out.push_back(static_cast<std::uint8_t>(c));
            out.push_back(0);
        }
    }
    const std::size_t index = out.size();
    for (const std::size_t w : {std::size_t{4}, index}) {
        out.push_back(static_cast<std::uint8_t>(w));
        out.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    out[0] = static_cast<std::uint8_t>(index);
    out[1] = static_cast<std::uint8_t>(index >> 8);
    out[2] = 5; // two index words, plus one
    return out;
}

} // namespace tavolin::test
