#include <ostream>

#include "cli/commands.h"
#include "cli/resourcestrings.h"
#include "file/errors.h"
#include "file/filelock.h"
#include "codec/reader.h"
#include "codec/writer.h"
#include "tables/stringtable.h"

namespace tavolin {

int Resave(const std::string& file, const std::string& target, std::ostream& err)
{
    try {
        const FileLock lock(file);
        if (!IsCaptionFile(file)) {
            ResavePatchFile(file, target);
            return 0;
        }
        StringTables tables;
        ScanResourceFile(file, tables);
        SaveTables(target, tables, true);
    } catch (const TavolinError& e) {
        err << Failure(e, file) << '\n';
        return 1;
    }
    return 0;
}

} // namespace tavolin
