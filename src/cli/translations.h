#pragma once

#include <string>
#include <vector>

#include "cli/pofile.h"
#include "document/resourcetexts.h"

namespace tavolin {

// A translation file, PO or XLIFF, as entries of the PO kind; in XLIFF a
// target whose state is not a finished one counts as fuzzy.
struct Translations {
    bool xliff = false;
    std::vector<PoEntry> entries;
    std::string language; // PO Language:, XLIFF target-language; empty when not given
};

// Reads a PO or XLIFF file (told by its content); of an XLIFF of several
// files, the units of the one for `resourceFile`. Throws PoError.
[[nodiscard]] Translations ReadTranslations(const std::string& path, const std::string& resourceFile);

// Refuses translations whose IDs were made in the other mode, or in both.
// Throws ModeError.
void CheckTranslationsMode(const Translations& t, ReadBy mode, const std::string& path, const std::string& file);

} // namespace tavolin
