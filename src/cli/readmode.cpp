#include "cli/readmode.h"

#include "file/errors.h"
#include "file/filelock.h"

namespace tavolin {

ReadBy ModeOf(const std::string& file, const ReadOptions& o, std::optional<ResourceTexts>& texts)
{
    if (o.by == "marker")
        return ReadBy::Marker;
    texts.emplace(file);
    if (texts->DefaultMode() == ReadBy::Resource)
        return ReadBy::Resource;
    if (o.by == "resource")
        throw ModeError(file + ": not a resource file of a format read by resource (old, compressed or narrow); "
                               "give --by marker");
    return ReadBy::Marker;
}

std::string Failure(const TavolinError& e, const std::string& file)
{
    if (dynamic_cast<const FileChanged*>(&e))
        return e.what(); // names the file itself
    const auto* io = dynamic_cast<const IoError*>(&e);
    return (io && !io->File().empty() ? io->File() : file) + ": " + e.what();
}

} // namespace tavolin
