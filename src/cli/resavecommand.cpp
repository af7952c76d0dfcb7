#include <ostream>

#include "cli/commands.h"
#include "document/resourcestrings.h"
#include "file/errors.h"
#include "file/filelock.h"
#include "document/document.h"
#include "codec/writer.h"
#include "tables/stringtable.h"

namespace tavolin {

int Resave(const std::string& file, const std::string& target, std::ostream& err)
{
    try {
        const FileLock lock(file);
        // What the editor's Open followed by Save writes.
        const Document document(file, {.by = ReadBy::Marker, .access = Access::ReadWrite});
        StringTables tables;
        SavingChanges changes;
        document.ScanInto(tables, &changes);
        if (IsCaptionFile(file))
            SaveTables(target, tables, true);
        else
            ResaveScannedTables(tables, changes, target);
    } catch (const TavolinError& e) {
        err << Failure(e, file) << '\n';
        return 1;
    }
    return 0;
}

} // namespace tavolin
