#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavolin {

// XLIFF 1.2, the exchange format of CAT tools, for the same texts a PO file
// carries. Texts are UTF-8 throughout.

// One <trans-unit> as export writes it.
struct XliffUnit {
    std::string id;                      // "R.I" or a number
    std::string source;
    std::optional<std::size_t> maxWidth; // in characters; written as maxwidth + size-unit="char"
    std::string note;                    // written as one <note from="developer"> when not empty
    bool translate = true;               // false: written with translate="no"
};

struct XliffDocument {
    std::string original; // the resource file's name
    std::string sourceLanguage = "en";
    std::string targetLanguage; // empty: the attribute is left out
    std::vector<XliffUnit> units;
};

// One <trans-unit> as import reads it.
struct XliffEntry {
    std::string original;              // of its <file>
    std::string targetLanguage;        // of its <file>; empty when not given
    std::optional<std::string> id;     // nullopt when the unit has none
    std::string source;
    std::optional<std::string> target; // nullopt: no <target> element
    std::optional<std::string> state;  // the <target>'s state attribute, nullopt when absent
    std::string note;                  // the unit's <note>s, one a line
    std::optional<std::string> location; // a <context-group purpose="location">: sourcefile[:linenumber]
};

// The whole XLIFF 1.2 file, UTF-8 with an XML declaration: one <file>, one
// <trans-unit> per unit with its source and an empty target. A CR is
// written as a character reference, so that it reads back as CR rather
// than as a line end. A character XML 1.0 cannot hold (U+0000..U+001F but
// tab, LF and CR; U+FFFE, U+FFFF) goes as the inline element
// <ph id="N" ctype="x-tavolin-char">U+001F</ph>, N counting from 1 within
// the element; ReadXliff turns it back into the character (other readers
// show its text, "U+001F"). Throws std::invalid_argument for text that is not
// UTF-8, and for an attribute or note holding a character XML cannot.
[[nodiscard]] std::string XliffText(const XliffDocument& document, const std::string& toolVersion);
// The same with one <file> for each document.
[[nodiscard]] std::string XliffText(const std::vector<XliffDocument>& documents, const std::string& toolVersion);

// True when the bytes are XML rather than PO: after an optional UTF-8 byte
// order mark and white space, '<'.
[[nodiscard]] bool LooksLikeXml(std::string_view bytes);

// Every <trans-unit> of every <file>, at any depth under <body> (inside
// <group>s too), in document order. The text of a <source> or <target> is
// its character data, the content of its <mrk> and <g> elements, and the
// characters of our own placeholders; any other inline element is refused.
// `name` is used in messages. Throws PoError ("NAME: line L: ...") for bytes
// that are not UTF-8 or not well-formed XML, a root that is not an XLIFF 1.2
// <xliff>, an entity XML does not define, or inline codes a resource text
// cannot hold (naming the unit's id).
[[nodiscard]] std::vector<XliffEntry> ReadXliff(std::string_view bytes, const std::string& name);

} // namespace tavolin
