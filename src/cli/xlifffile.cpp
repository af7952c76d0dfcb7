#include "cli/xlifffile.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <stdexcept>

#include <pugixml.hpp>

#include "cli/pofile.h"
#include "codec/displaytext.h"
#include "codec/utf8.h"

namespace tavolin {

namespace {

constexpr char kNamespace[] = "urn:oasis:names:tc:xliff:document:1.2";
// What translate-toolkit's po2xliff writes; read alike.
constexpr char kNamespace11[] = "urn:oasis:names:tc:xliff:document:1.1";
constexpr char kCharType[] = "x-tavolin-char";
constexpr char kPlaceholderName[] = "ph";

// XML 1.0's Char production.
bool XmlCanHold(char32_t c)
{
    return c == U'\t' || c == U'\n' || c == U'\r' || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// The number that `digits` (one to eight of them after any leading zeros,
// nothing else) write in `base`; nothing for anything else.
std::optional<char32_t> NumberOf(std::string_view digits, int base)
{
    while (digits.size() > 1 && digits.front() == '0')
        digits.remove_prefix(1);
    std::uint32_t value = 0;
    const char* end = digits.data() + digits.size();
    if (digits.empty() || digits.size() > 8 || std::from_chars(digits.data(), end, value, base).ptr != end)
        return std::nullopt;
    return value;
}

// ---------------------------------------------------------------- writing

void AppendPcdata(pugi::xml_node parent, std::string_view text)
{
    if (!text.empty())
        parent.append_child(pugi::node_pcdata).set_value(std::string(text).c_str());
}

void Indent(pugi::xml_node parent, int depth)
{
    AppendPcdata(parent, "\n" + std::string(static_cast<std::size_t>(depth) * 2, ' '));
}

// `parent`'s new child, on a line of its own at `depth`.
pugi::xml_node AddElement(pugi::xml_node parent, const char* name, int depth)
{
    Indent(parent, depth);
    return parent.append_child(name);
}

void CheckPlain(std::string_view text, const char* what)
{
    for (std::size_t at = 0; at < text.size();) {
        const auto c = NextUtf8(text, at);
        if (!c)
            throw std::invalid_argument(std::string(what) + " is not UTF-8");
        if (!XmlCanHold(*c))
            throw std::invalid_argument(std::string(what) + " holds " + CodePointName(*c) + ", which XML cannot");
    }
}

void SetAttribute(pugi::xml_node element, const char* name, const std::string& value)
{
    CheckPlain(value, name);
    element.append_attribute(name).set_value(value.c_str());
}

// A resource text as the content of `element`: its characters, each one XML
// cannot hold as a placeholder. The text goes in as it is; the layout's
// white space never enters it.
void SetText(pugi::xml_node element, std::string_view text)
{
    std::size_t run = 0;
    int placeholders = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = at;
        const auto c = NextUtf8(text, at);
        if (!c)
            throw std::invalid_argument("a text is not UTF-8");
        if (XmlCanHold(*c))
            continue;
        AppendPcdata(element, text.substr(run, start - run));
        pugi::xml_node ph = element.append_child(kPlaceholderName);
        ph.append_attribute("id").set_value(++placeholders);
        ph.append_attribute("ctype").set_value(kCharType);
        AppendPcdata(ph, CodePointName(*c));
        run = at;
    }
    AppendPcdata(element, text.substr(run));
}

// pugixml writes a CR of character data as it is, and every reader of XML
// takes a CR in content for a line end; as a reference it stays a CR.
// (Attributes it escapes itself; the layout uses LF only.)
class CrEscapingWriter : public pugi::xml_writer {
public:
    explicit CrEscapingWriter(std::string& out) : m_out(out) {}

    void write(const void* data, size_t size) override
    {
        const std::string_view chunk(static_cast<const char*>(data), size);
        for (std::size_t at = 0; at < chunk.size();) {
            const std::size_t cr = std::min(chunk.find('\r', at), chunk.size());
            m_out.append(chunk.substr(at, cr - at));
            if (cr < chunk.size())
                m_out += "&#13;";
            at = cr + 1;
        }
    }

private:
    std::string& m_out;
};

// ---------------------------------------------------------------- reading

// The parsed document and what a message needs to name a place in it.
class Reader {
public:
    Reader(std::string_view bytes, const std::string& name) : m_bytes(bytes), m_name(name) {}

    [[noreturn]] void Fail(std::ptrdiff_t offset, const std::string& what) const
    {
        throw PoError(m_name + (offset < 0 ? "" : ": line " + std::to_string(LineAt(offset))) + ": " + what);
    }
    [[noreturn]] void Fail(pugi::xml_node node, const std::string& what) const { Fail(node.offset_debug(), what); }

    std::vector<XliffEntry> Read();

private:
    [[nodiscard]] std::size_t LineAt(std::ptrdiff_t offset) const
    {
        const std::string_view before = m_bytes.substr(0, static_cast<std::size_t>(offset));
        std::size_t line = 1;
        for (std::size_t i = 0; i < before.size(); ++i)
            if (before[i] == '\n' || (before[i] == '\r' && (i + 1 >= m_bytes.size() || m_bytes[i + 1] != '\n')))
                ++line;
        return line;
    }

    void CheckBytes() const;
    void CheckRoot(pugi::xml_node root);

    // An XLIFF element of the given local name.
    [[nodiscard]] bool Is(pugi::xml_node node, std::string_view local) const
    {
        if (node.type() != pugi::node_element)
            return false;
        const std::string_view name = node.name();
        return name.size() == m_prefix.size() + local.size() && name.starts_with(m_prefix) && name.ends_with(local);
    }
    [[nodiscard]] pugi::xml_node Child(pugi::xml_node parent, std::string_view local) const
    {
        const auto children = parent.children();
        const auto found =
            std::find_if(children.begin(), children.end(), [&](pugi::xml_node child) { return Is(child, local); });
        return found == children.end() ? pugi::xml_node() : *found;
    }

    [[nodiscard]] std::string Decode(std::string_view raw, pugi::xml_node where, bool countLines) const;
    [[nodiscard]] std::optional<std::string> Attribute(pugi::xml_node element, const char* name) const
    {
        const pugi::xml_attribute attribute = element.attribute(name);
        if (!attribute)
            return std::nullopt;
        return Decode(attribute.value(), element, false);
    }

    [[nodiscard]] std::string TextOf(pugi::xml_node element, const std::string& unit) const;
    [[nodiscard]] std::string PlaceholderChar(pugi::xml_node ph, const std::string& unit, const char* where) const;
    [[nodiscard]] XliffEntry ReadUnit(pugi::xml_node unit, const std::string& original) const;

    std::string_view m_bytes; // without a byte order mark
    const std::string& m_name;
    std::string m_prefix; // of XLIFF's element names, with its colon
};

void Reader::CheckBytes() const
{
    for (std::size_t at = 0; at < m_bytes.size();) {
        const std::size_t start = at;
        const auto c = NextUtf8(m_bytes, at);
        if (!c)
            Fail(static_cast<std::ptrdiff_t>(start), "not valid UTF-8");
        if (*c == 0)
            Fail(static_cast<std::ptrdiff_t>(start), "a NUL byte");
    }
}

void Reader::CheckRoot(pugi::xml_node root)
{
    const std::string_view name = root.name();
    const std::size_t colon = name.find(':');
    const std::string_view local = colon == std::string_view::npos ? name : name.substr(colon + 1);
    if (local != "xliff")
        Fail(root, "not XLIFF: its root element is <" + std::string(name) + ">");
    m_prefix = colon == std::string_view::npos ? "" : std::string(name.substr(0, colon + 1));
    const std::string xmlns = m_prefix.empty() ? "xmlns" : "xmlns:" + m_prefix.substr(0, m_prefix.size() - 1);
    const std::string space = Attribute(root, xmlns.c_str()).value_or("");
    const auto version = Attribute(root, "version");
    // Older tools leave the namespace out.
    if (space == kNamespace || space == kNamespace11 || (space.empty() && (version == "1.2" || version == "1.1")))
        return;
    Fail(root, "not XLIFF 1.1 or 1.2 but " + (version && version != "1.2" && version != "1.1" ? "version " + *version
                                       : space.empty()             ? std::string("XLIFF without a version")
                                                                   : "of the namespace " + space));
}

// Character data as pugixml leaves it with references unread: they are
// read here, so that one that XML does not define (a DTD's entity, which
// is never read) or a character XML cannot hold (&#0; would cut the text)
// is refused rather than kept as written or cut.
std::string Reader::Decode(std::string_view raw, pugi::xml_node where, bool countLines) const
{
    std::string text;
    text.reserve(raw.size());
    std::size_t at = 0;
    for (std::size_t amp = raw.find('&'); amp != std::string_view::npos; amp = raw.find('&', at)) {
        text.append(raw.substr(at, amp - at));
        const auto fail = [&](const std::string& what) {
            const std::ptrdiff_t offset = where.offset_debug();
            if (countLines && offset >= 0) {
                // pugixml made every line end of character data an LF.
                const auto lines = std::count(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(amp), '\n');
                throw PoError(m_name + ": line " + std::to_string(LineAt(offset) + static_cast<std::size_t>(lines)) +
                              ": " + what);
            }
            Fail(where, what);
        };
        const std::size_t semicolon = raw.find(';', amp);
        const std::string_view ref = raw.substr(amp + 1, semicolon == std::string_view::npos ? 0 : semicolon - amp - 1);
        if (semicolon == std::string_view::npos || ref.empty() ||
            ref.find_first_of(" \t\n\r&<") != std::string_view::npos)
            fail("a '&' that starts no reference (write &amp;)");
        at = semicolon + 1;
        if (ref == "amp") {
            text += '&';
        } else if (ref == "lt") {
            text += '<';
        } else if (ref == "gt") {
            text += '>';
        } else if (ref == "quot") {
            text += '"';
        } else if (ref == "apos") {
            text += '\'';
        } else if (ref.front() == '#') {
            const bool hex = ref.size() > 1 && ref[1] == 'x';
            const auto number = NumberOf(ref.substr(hex ? 2 : 1), hex ? 16 : 10);
            if (!number)
                fail("&" + std::string(ref) + "; is no character reference");
            const char32_t c = *number;
            if (!XmlCanHold(c))
                fail("&" + std::string(ref) + "; is a character XML cannot hold");
            AppendUtf8(text, c);
        } else {
            fail("&" + std::string(ref) + "; is not an entity XML defines (a document's own entities are not read)");
        }
    }
    text.append(raw.substr(at));
    return text;
}

std::string Reader::PlaceholderChar(pugi::xml_node ph, const std::string& unit, const char* where) const
{
    std::string content;
    for (pugi::xml_node child : ph.children()) {
        if (child.type() == pugi::node_pcdata)
            content += Decode(child.value(), child, true);
        else if (child.type() == pugi::node_cdata)
            content += child.value();
        else
            content += '?';
    }
    const auto number = content.size() >= 6 && content.size() <= 8 && content.starts_with("U+")
                            ? NumberOf(std::string_view(content).substr(2), 16)
                            : std::nullopt;
    const char32_t c = number.value_or(0);
    if (!number || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        Fail(ph, unit + ": a character placeholder in its " + where + " holds \"" + content + "\", not a character");
    std::string text;
    AppendUtf8(text, c);
    return text;
}

// The character data of `element` and of the <mrk> and <g> elements in it
// (which CAT tools add around text), with our placeholders as their
// characters. Walked without recursion: nesting is the file's to choose.
std::string Reader::TextOf(pugi::xml_node element, const std::string& unit) const
{
    const char* const where = element.name() + m_prefix.size();
    std::string text;
    pugi::xml_node node = element.first_child();
    while (node) {
        bool descend = false;
        if (node.type() == pugi::node_pcdata) {
            text += Decode(node.value(), node, true);
        } else if (node.type() == pugi::node_cdata) {
            text += node.value();
        } else if (Is(node, "mrk") || Is(node, "g")) {
            descend = true;
        } else if (Is(node, kPlaceholderName) && Attribute(node, "ctype") == kCharType) {
            text += PlaceholderChar(node, unit, where);
        } else if (node.type() == pugi::node_element) {
            Fail(node, unit + ": <" + node.name() + "> in its " + where +
                           ": inline codes cannot be saved in a resource text");
        }
        if (descend && node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node != element && !node.next_sibling())
            node = node.parent();
        node = node == element ? pugi::xml_node() : node.next_sibling();
    }
    return text;
}

XliffEntry Reader::ReadUnit(pugi::xml_node unit, const std::string& original) const
{
    XliffEntry entry;
    entry.original = original;
    entry.id = Attribute(unit, "id");
    const std::string label = entry.id ? "unit " + *entry.id : "a unit without an id";
    const pugi::xml_node source = Child(unit, "source");
    if (!source)
        Fail(unit, label + ": no <source>");
    entry.source = TextOf(source, label);
    if (const pugi::xml_node target = Child(unit, "target")) {
        entry.target = TextOf(target, label);
        entry.state = Attribute(target, "state");
    }
    // A PO file's "#:" reference, as po2xliff keeps it.
    for (pugi::xml_node group : unit.children()) {
        if (!Is(group, "context-group") || Attribute(group, "purpose") != "location" || entry.location)
            continue;
        std::string file;
        std::string line;
        for (pugi::xml_node context : group.children()) {
            if (!Is(context, "context"))
                continue;
            const auto type = Attribute(context, "context-type");
            if (type == "sourcefile")
                file = context.text().get();
            else if (type == "linenumber")
                line = context.text().get();
        }
        if (!line.empty())
            file += ":" + line;
        if (!file.empty())
            entry.location = file;
    }
    for (pugi::xml_node note : unit.children()) {
        if (!Is(note, "note"))
            continue;
        if (!entry.note.empty())
            entry.note += '\n';
        for (pugi::xml_node child : note.children()) {
            if (child.type() == pugi::node_pcdata)
                entry.note += Decode(child.value(), child, true);
            else if (child.type() == pugi::node_cdata)
                entry.note += child.value();
        }
    }
    return entry;
}

std::vector<XliffEntry> Reader::Read()
{
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(m_bytes[i]); };
    if (m_bytes.size() >= 2 && ((at(0) == 0xFF && at(1) == 0xFE) || (at(0) == 0xFE && at(1) == 0xFF) ||
                                ((at(0) == 0) != (at(1) == 0))))
        throw PoError(m_name + ": in UTF-16; save it as UTF-8");
    if (m_bytes.starts_with("\xEF\xBB\xBF"))
        m_bytes.remove_prefix(3);
    CheckBytes();

    // References are read by Decode. A DOCTYPE is skipped: no entity of it
    // is expanded and nothing outside the file is ever fetched.
    constexpr unsigned kOptions = pugi::parse_declaration | pugi::parse_cdata | pugi::parse_eol |
                                  pugi::parse_wconv_attribute | pugi::parse_ws_pcdata;
    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        document.load_buffer(m_bytes.data(), m_bytes.size(), kOptions, pugi::encoding_utf8);
    if (parsed.status == pugi::status_no_document_element)
        throw PoError(m_name + ": not XML: no element in it");
    if (!parsed)
        Fail(parsed.offset, std::string("not well-formed XML: ") + parsed.description());

    pugi::xml_node root;
    for (pugi::xml_node node : document.children()) {
        if (node.type() == pugi::node_declaration) {
            std::string encoding = Attribute(node, "encoding").value_or("utf-8");
            std::string lower = encoding;
            std::transform(lower.begin(), lower.end(), lower.begin(),
                           [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c; });
            if (lower != "utf-8" && lower != "utf8" && lower != "us-ascii")
                Fail(node, "in " + encoding + "; save it as UTF-8");
        } else if (node.type() == pugi::node_element) {
            if (root)
                Fail(node, "not well-formed XML: a second root element <" + std::string(node.name()) + ">");
            root = node;
        }
    }
    CheckRoot(root);

    std::vector<XliffEntry> entries;
    for (pugi::xml_node file : root.children()) {
        if (!Is(file, "file"))
            continue;
        const std::string original = Attribute(file, "original").value_or("");
        const std::string targetLanguage = Attribute(file, "target-language").value_or("");
        const pugi::xml_node body = Child(file, "body");
        // Units in document order, through <group>s at any depth.
        std::vector<pugi::xml_node> pending;
        for (pugi::xml_node child = body.last_child(); child; child = child.previous_sibling())
            pending.push_back(child);
        while (!pending.empty()) {
            const pugi::xml_node node = pending.back();
            pending.pop_back();
            // A PO header carried by po2xliff is no text.
            if (Is(node, "trans-unit") && Attribute(node, "restype") != "x-gettext-domain-header") {
                entries.push_back(ReadUnit(node, original));
                entries.back().targetLanguage = targetLanguage;
            } else if (Is(node, "group")) {
                for (pugi::xml_node child = node.last_child(); child; child = child.previous_sibling())
                    pending.push_back(child);
            }
        }
    }
    return entries;
}

} // namespace

std::string XliffText(const XliffDocument& document, const std::string& toolVersion)
{
    return XliffText(std::vector<XliffDocument>{document}, toolVersion);
}

std::string XliffText(const std::vector<XliffDocument>& documents, const std::string& toolVersion)
{
    pugi::xml_document xml;
    pugi::xml_node declaration = xml.append_child(pugi::node_declaration);
    declaration.append_attribute("version").set_value("1.0");
    declaration.append_attribute("encoding").set_value("UTF-8");
    AppendPcdata(xml, "\n");

    pugi::xml_node root = xml.append_child("xliff");
    root.append_attribute("version").set_value("1.2");
    root.append_attribute("xmlns").set_value(kNamespace);
    for (const XliffDocument& document : documents) {
        pugi::xml_node file = AddElement(root, "file", 1);
        SetAttribute(file, "original", document.original);
        SetAttribute(file, "source-language", document.sourceLanguage);
        if (!document.targetLanguage.empty())
            SetAttribute(file, "target-language", document.targetLanguage);
        file.append_attribute("datatype").set_value("plaintext");

        pugi::xml_node header = AddElement(file, "header", 2);
        pugi::xml_node tool = AddElement(header, "tool", 3);
        tool.append_attribute("tool-id").set_value("tavolin-strings");
        tool.append_attribute("tool-name").set_value("tavolin-strings");
        SetAttribute(tool, "tool-version", toolVersion);
        Indent(header, 2);

        pugi::xml_node body = AddElement(file, "body", 2);
        for (const XliffUnit& unit : document.units) {
            pugi::xml_node element = AddElement(body, "trans-unit", 3);
            SetAttribute(element, "id", unit.id);
            if (!unit.translate)
                element.append_attribute("translate").set_value("no");
            if (unit.maxWidth) {
                element.append_attribute("maxwidth").set_value(std::to_string(*unit.maxWidth).c_str());
                element.append_attribute("size-unit").set_value("char");
            }
            pugi::xml_node source = AddElement(element, "source", 4);
            source.append_attribute("xml:space").set_value("preserve");
            SetText(source, unit.source);
            pugi::xml_node target = AddElement(element, "target", 4);
            target.append_attribute("xml:space").set_value("preserve");
            if (!unit.note.empty()) {
                CheckPlain(unit.note, "a note");
                pugi::xml_node note = AddElement(element, "note", 4);
                // As translate-toolkit writes a PO file's extracted comment.
                note.append_attribute("from").set_value("developer");
                AppendPcdata(note, unit.note);
            }
            Indent(element, 3);
        }
        Indent(body, 2);
        Indent(file, 1);
    }
    Indent(root, 0);
    AppendPcdata(xml, "\n");

    std::string text;
    CrEscapingWriter writer(text);
    xml.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    return text;
}

bool LooksLikeXml(std::string_view bytes)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    const std::size_t first = bytes.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && bytes[first] == '<';
}

std::vector<XliffEntry> ReadXliff(std::string_view bytes, const std::string& name)
{
    return Reader(bytes, name).Read();
}

} // namespace tavolin
