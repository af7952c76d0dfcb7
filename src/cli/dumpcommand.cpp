#include <ostream>
#include <string_view>

#include "cli/commands.h"
#include "cli/json.h"
#include "cli/stringscli.h"
#include "file/errors.h"
#include "document/document.h"
#include "tables/stringtable.h"

namespace tavolin {

namespace {

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
        AppendJsonString(json, table.KeyAt(i));
        json += ", ";
        // Gap records are digits and blanks, nothing to escape.
        if (table.IsGapRecordAt(i)) {
            json += '"';
            table.AppendValueAt(json, i);
            json += '"';
        } else {
            AppendJsonString(json, table.StoredValueAt(i));
        }
        json += ']';
        if (json.size() >= kPiece) {
            out.write(json.data(), static_cast<std::streamsize>(json.size()));
            json.clear();
        }
    }
    json += ']';
}

} // namespace

int Dump(const std::string& file, std::ostream& out)
{
    StringTables tables;
    std::string error;
    bool failed = false;
    try {
        // The tables that the editor's Open reads, which opens for writing.
        const Document document(file, {.by = ReadBy::Marker, .access = Access::ReadWrite});
        document.ScanInto(tables, nullptr);
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

std::string JsonString(const std::string& bytes)
{
    std::string json;
    AppendJsonString(json, bytes);
    return json;
}

} // namespace tavolin
