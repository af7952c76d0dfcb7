#include "cli/structurecli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <set>
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/clichecks.h"
#include "cli/json.h"
#include "document/readback.h"
#include "cli/readmode.h"
#include "document/document.h"
#include "file/bytefile.h"
#include "file/errors.h"
#include "file/filelock.h"
#include "file/safesave.h"
#include "resource/resourcefile.h"
#include "resource/utf.h"
#include "tables/error.h"

namespace tavolin {

namespace {

// texts and apply read FILE by its resource structure and nothing else.
const Document::Options kByResourceAlone{.by = std::nullopt, .access = Access::ReadOnly, .resourceOnly = true};

class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The whole input at `path`, up to `limit` bytes of `what`.
std::vector<std::uint8_t> ReadBytes(const std::string& path, std::size_t limit, const char* what)
{
    try {
        return ReadWholeInput(path, limit, what);
    } catch (const TavolinError& e) {
        throw InputError(Shown(path) + ": " + e.what());
    }
}

std::string JsonText(std::u16string_view text)
{
    std::string json;
    AppendJsonString(json, text);
    return json;
}

std::string JsonPath(const std::string& path)
{
    if (const auto units = resource::Utf8ToUtf16(path))
        return JsonText(*units);
    return JsonText(std::u16string(path.begin(), path.end()));
}

int Texts(const StructureCommands& c, std::ostream& out, std::ostream& err)
{
    std::optional<Document> document;
    try {
        document.emplace(c.file, kByResourceAlone);
    } catch (const TavolinError& e) {
        err << Shown(c.file) << ": " << e.what() << '\n';
        return 1;
    }
    const resource::ResourceFile& file = document->Structure().File();
    if (!c.json) {
        for (const auto& t : file.texts)
            out << resource::TextId(t) << '\t' << resource::KindName(t.kind) << '\t' << (t.certain ? "certain" : "guessed") << '\t'
                << OneLine(t.text) << '\n';
        return 0;
    }
    std::string json = R"({"file": )";
    json += JsonPath(c.file);
    json += R"(, "format": ")";
    json += resource::FormatName(file.format);
    json += R"(", "texts": [)";
    for (std::size_t i = 0; i < file.texts.size(); ++i) {
        const auto& t = file.texts[i];
        json += i == 0 ? "" : ", ";
        json += R"({"id": ")";
        json += resource::TextId(t);
        json += R"(", "resource": )";
        json += std::to_string(t.resource);
        json += R"(, "index": )";
        json += std::to_string(t.index);
        json += R"(, "kind": ")";
        json += resource::KindName(t.kind);
        json += R"(", "certain": )";
        json += t.certain ? "true" : "false";
        json += R"(, "text": )";
        json += JsonText(t.text);
        json += '}';
    }
    json += "]}\n";
    out << json;
    return 0;
}

std::string AboutKey(const std::string& path, const std::string& key, const char* what)
{
    std::string message = Shown(path);
    message += R"(: ")";
    message += Shown(key);
    message += "\" ";
    message += what;
    return message;
}

// The JSON object of EDITS, parsed strictly: one whole object, each key
// once. Keys are checked here, where the text still has them all (the
// object keeps only the last of keys given twice).
nlohmann::json ParseEdits(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    // JSON holds no NUL byte; the parser would take it for the end.
    if (const auto nul = std::find(bytes.begin(), bytes.end(), 0); nul != bytes.end())
        throw InputError(Shown(path) + ": a NUL byte at offset " + std::to_string(nul - bytes.begin()) +
                         ", not JSON");
    std::set<std::string> keys;
    std::string twice;
    const auto onEvent = [&](int depth, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
        if (event == nlohmann::json::parse_event_t::key && depth == 1 && twice.empty() &&
            !keys.insert(parsed.get<std::string>()).second)
            twice = parsed.get<std::string>();
        return true;
    };
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(bytes.begin(), bytes.end(), onEvent);
    } catch (const nlohmann::json::exception& e) {
        throw InputError(Shown(path) + ": not valid JSON (" + e.what() + ")");
    }
    if (!json.is_object())
        throw InputError(Shown(path) + R"(: must be a JSON object {"R.I": "new text", ...})");
    if (!twice.empty())
        throw InputError(AboutKey(path, twice, "is given twice"));
    return json;
}

std::vector<resource::TextEdit> ReadEdits(const std::string& path)
{
    const nlohmann::json json = ParseEdits(path, ReadBytes(path, kTranslationsLimit, "an EDITS file"));
    std::vector<resource::TextEdit> edits;
    for (const auto& [key, value] : json.items()) {
        resource::TextEdit e;
        if (!resource::ParseTextId(key, e.resource, e.index))
            throw InputError(AboutKey(path, key, "is not an ID of the form R.I"));
        // One spelling an ID: "04.2" and "4.2" would otherwise be one text given twice.
        if (!IsResourceId(key))
            throw InputError(AboutKey(path, key, "is not an ID as texts writes it: ") +
                             std::to_string(e.resource) + "." + std::to_string(e.index));
        if (!value.is_string())
            throw InputError(AboutKey(path, key, "has a value that is not a string"));
        const auto text = resource::Utf8ToUtf16(value.get<std::string>());
        if (!text)
            throw InputError(AboutKey(path, key, "has a text that is not valid UTF-8"));
        e.text = *text;
        edits.push_back(std::move(e));
    }
    return edits;
}

int Apply(const StructureCommands& c, std::ostream& out, std::ostream& err)
{
    try {
        if (c.output.empty())
            if (const std::string why = NotSavableInPlace(c.file); !why.empty())
                throw InputError(why);
        // Held from the read to the save: another command's change in
        // between is refused rather than overwritten.
        const FileLock lock(c.file);
        std::optional<Document> document;
        try {
            document.emplace(c.file, kByResourceAlone);
        } catch (const TavolinError& e) {
            throw InputError(Shown(c.file) + ": " + e.what());
        }
        const resource::ResourceFile& file = document->Structure().File();
        if (file.format == resource::Format::Unknown)
            throw InputError(Shown(c.file) + ": not a resource file of a known format");
        const auto edits = ReadEdits(c.edits);
        std::size_t unchanged = 0;
        for (const auto& e : edits) {
            const std::string id = std::to_string(e.resource) + "." + std::to_string(e.index);
            const auto row = document->RowOf(id);
            if (!row)
                throw InputError("unknown ID " + id + ": the file has no such text");
            unchanged += file.texts[*row].text == e.text;
        }
        const auto bytes = resource::Rebuild(file, edits, c.allowGuessed);
        const std::string& target = c.output.empty() ? c.file : c.output;
        const auto differences = ReadBackDifferences(file, edits, bytes);
        std::error_code error;
        const bool inPlace = target == c.file || std::filesystem::equivalent(target, c.file, error);
        if (!differences.empty() && inPlace)
            throw resource::RebuildError(Shown(c.file) + " would read differently after the save, and IDs would "
                                         "name other texts: " + DifferencesText(differences));
        ReplaceFile(target, bytes);
        (IsStandardOutput(target) ? err : out) << "applied " << edits.size() - unchanged << ", unchanged " << unchanged
                                        << '\n';
        if (!differences.empty())
            err << "warning: " << Shown(target) << " reads differently from what was meant, and IDs would name "
                << "other texts there: " << DifferencesText(differences) << '\n';
        return 0;
    } catch (const InputError& e) {
        err << e.what() << "; nothing written\n";
    } catch (const resource::RebuildError& e) {
        err << "refused: " << NamingGuessedOption(e.what(), "--allow-guessed") << "; nothing written\n";
    } catch (const TavolinError& e) {
        const auto* io = dynamic_cast<const IoError*>(&e);
        err << (io && !io->File().empty() ? Shown(io->File()) + ": " : "") << e.what() << "; nothing written\n";
    }
    return 1;
}

} // namespace

void AddStructureCommands(CLI::App& app, StructureCommands& c)
{
    c.texts = app.add_subcommand(
        "texts", "Print every text of FILE found through its resource structure (any format and script): "
                 "ID R.I, kind, certain or guessed, text (control characters as their symbols)");
    c.texts->add_option("FILE", c.file, "resource file")->required();
    c.texts->add_flag("--json", c.json, R"(print {"file", "format", "texts": [...]} instead)");
    c.apply = app.add_subcommand("apply", R"(Replace texts of FILE by those of EDITS.json ({"R.I": "new text", ...}), )"
                                          "laying the edited resources out again");
    c.apply->add_option("FILE", c.file, "resource file")->required();
    c.apply->add_option("EDITS", c.edits, "JSON object of IDs and new texts")->required()->option_text("EDITS.json");
    c.apply->add_option("-o", c.output, "write OUT instead of FILE")->option_text("OUT");
    c.apply->add_flag("--allow-guessed", c.allowGuessed, "also edit texts that were found by a guess");
}

int RunStructureCommand(const StructureCommands& c, std::ostream& out, std::ostream& err)
{
    if (c.texts && c.texts->parsed())
        return Texts(c, out, err);
    if (c.apply && c.apply->parsed())
        return Apply(c, out, err);
    return -1;
}

} // namespace tavolin
