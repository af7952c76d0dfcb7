#include "cli/readmode.h"

#include <algorithm>

#include "file/errors.h"
#include "file/filelock.h"

namespace tavolin {

Document OpenDocument(const std::string& file, const ReadOptions& o)
{
    Document::Options options;
    if (o.by == "marker")
        options.by = ReadBy::Marker;
    else if (o.by == "resource")
        options.by = ReadBy::Resource;
    return Document(file, options);
}

std::string Failure(const TavolinError& e, const std::string& file)
{
    if (dynamic_cast<const FileChanged*>(&e))
        return e.what(); // names the file itself
    const auto* io = dynamic_cast<const IoError*>(&e);
    return (io && !io->File().empty() ? io->File() : file) + ": " + e.what();
}

std::string NamingGuessedOption(std::string message, const std::string& option)
{
    for (const std::string said : {"edit it with --allow-guessed", "allow guessed texts to trust it"}) {
        const auto at = message.find(said);
        if (at != std::string::npos)
            message.replace(at, said.size(), "give " + option + " to trust guessed texts");
    }
    return message;
}

IdKind KindOfId(std::string_view id)
{
    if (IsResourceId(std::string(id)))
        return IdKind::Resource;
    if (!id.empty() && id.size() <= 9 && std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return IdKind::Marker;
    return IdKind::None;
}

} // namespace tavolin
