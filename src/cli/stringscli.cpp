#include "cli/stringscli.h"

#include <ostream>

#include "codec/errors.h"
#include "codec/reader.h"
#include "codec/writer.h"
#include "tables/stringtable.h"

namespace tavolin {

namespace {

constexpr const char* kUsage =
    "usage: tavolin-strings dump FILE\n"
    "       tavolin-strings resave FILE [-o OUT]\n"
    "\n"
    "  dump    scan FILE as the editor's Open does and print its tables as JSON;\n"
    "          every byte b of a key or value is written as the character U+00bb\n"
    "  resave  scan FILE and write it back as the editor's Save does (caption\n"
    "          mode when the path contains \"caption\"); with -o, write OUT instead\n";

void AppendJson(std::string& json, std::string_view bytes)
{
    static const char* const hex = "0123456789abcdef";
    json += '"';
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b == '"' || b == '\\') {
            json += '\\';
            json += static_cast<char>(b);
        } else if (b < 0x20) {
            json += "\\u00";
            json += hex[b >> 4];
            json += hex[b & 15];
        } else if (b < 0x80) {
            json += static_cast<char>(b);
        } else {
            json += static_cast<char>(0xC0 | b >> 6);
            json += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    json += '"';
}

// The JSON goes out in large pieces: a million entries are tens of megabytes.
void WriteTable(std::ostream& out, std::string& json, const char* name, const StringTable& table)
{
    constexpr std::size_t kPiece = 1 << 20;
    json += '"';
    json += name;
    json += "\": [";
    for (std::size_t i = 0; i < table.EntryCount(); ++i) {
        if (i != 0)
            json += ", ";
        json += '[';
        AppendJson(json, table.KeyAt(i));
        json += ", ";
        // Gap records are digits and blanks, nothing to escape.
        if (table.IsGapRecordAt(i)) {
            json += '"';
            json += table.ValueAt(i);
            json += '"';
        } else {
            AppendJson(json, table.StoredValueAt(i));
        }
        json += ']';
        if (json.size() >= kPiece) {
            out.write(json.data(), static_cast<std::streamsize>(json.size()));
            json.clear();
        }
    }
    json += ']';
}

int Dump(const std::string& file, std::ostream& out)
{
    StringTables tables;
    std::string error;
    bool failed = false;
    try {
        ScanResourceFile(file, tables);
    } catch (const TavolinError& e) {
        failed = true;
        error = e.what();
    }
    std::string json = "{";
    WriteTable(out, json, "vle", tables.vle);
    json += ", ";
    WriteTable(out, json, "vle2", tables.vle2);
    json += ", ";
    WriteTable(out, json, "vle3", tables.vle3);
    json += ", \"error\": ";
    json += failed ? JsonString(error) : "null";
    json += "}\n";
    out.write(json.data(), static_cast<std::streamsize>(json.size()));
    return failed ? 1 : 0;
}

int Resave(const std::string& file, const std::string& target, std::ostream& err)
{
    try {
        StringTables tables;
        ScanResourceFile(file, tables);
        SaveTables(target, tables, IsCaptionPath(file));
    } catch (const TavolinError& e) {
        err << e.what() << '\n';
        return 1;
    }
    return 0;
}

int Usage(std::ostream& err)
{
    err << kUsage;
    return 2;
}

} // namespace

std::string JsonString(const std::string& bytes)
{
    std::string json;
    AppendJson(json, bytes);
    return json;
}

int RunStringsCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << kUsage;
        return 0;
    }
    if (args.size() == 2 && args[0] == "dump")
        return Dump(args[1], out);
    if (args.size() == 2 && args[0] == "resave")
        return Resave(args[1], args[1], err);
    if (args.size() == 4 && args[0] == "resave" && args[2] == "-o")
        return Resave(args[1], args[3], err);
    return Usage(err);
}

} // namespace tavolin
