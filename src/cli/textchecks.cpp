#include "cli/textchecks.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <vector>

namespace tavolin {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

struct Placeholders {
    std::vector<std::string> inOrder;       // unnumbered, as they come
    std::map<std::string, int> numbered;    // "%0U": how many times
};

// A placeholder is '%', an optional position (digits), optional width and
// precision ("5.2"), and one letter; "%%" is a percent sign.
Placeholders PlaceholdersOf(std::string_view text)
{
    Placeholders found;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%')
            continue;
        if (i + 1 < text.size() && text[i + 1] == '%') {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < text.size() && IsDigit(text[j]))
            ++j;
        const bool position = j > i + 1;
        std::size_t k = j;
        while (k < text.size() && (IsDigit(text[k]) || text[k] == '.'))
            ++k;
        if (k >= text.size() || !IsLetter(text[k]))
            continue;
        const std::string placeholder(text.substr(i, k + 1 - i));
        if (position && k == j)
            ++found.numbered[placeholder];
        else
            found.inOrder.push_back(placeholder);
        i = k;
    }
    return found;
}

} // namespace

bool IsPathOrFileName(std::string_view text)
{
    if (text.size() < 3 || std::any_of(text.begin(), text.end(), [](char c) {
            return c == ' ' || c == '\t' || c == '\n' || c == '\r' || static_cast<unsigned char>(c) < 0x20;
        }))
        return false;
    // A backslash before a name ("\resource"), or a path from the root
    // ("/data/x"); "On/Off" is a text.
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == '\\' && (IsLetter(text[i + 1]) || IsDigit(text[i + 1]) || text[i + 1] == '_'))
            return true;
    if (text.front() == '/' && text.find('/', 1) != std::string_view::npos)
        return true;
    const auto dot = text.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == text.size() || text.size() - dot - 1 > 4)
        return false;
    const std::string_view extension = text.substr(dot + 1);
    return std::all_of(extension.begin(), extension.end(), [](char c) { return IsLetter(c) || IsDigit(c); }) &&
           std::any_of(extension.begin(), extension.end(), IsLetter) &&
           (IsLetter(text[dot - 1]) || IsDigit(text[dot - 1]) || text[dot - 1] == '_');
}

std::optional<std::string> PlaceholderChange(std::string_view source, std::string_view translation)
{
    const Placeholders from = PlaceholdersOf(source);
    const Placeholders to = PlaceholdersOf(translation);
    for (const auto& [placeholder, count] : from.numbered) {
        const auto it = to.numbered.find(placeholder);
        if (it == to.numbered.end() || it->second < count)
            return "drops " + placeholder;
    }
    for (const auto& [placeholder, count] : to.numbered) {
        const auto it = from.numbered.find(placeholder);
        if (it == from.numbered.end() || it->second < count)
            return "adds " + placeholder;
    }
    if (from.inOrder == to.inOrder)
        return std::nullopt;
    for (const auto& p : from.inOrder)
        if (std::count(to.inOrder.begin(), to.inOrder.end(), p) < std::count(from.inOrder.begin(), from.inOrder.end(), p))
            return "drops " + p;
    for (const auto& p : to.inOrder)
        if (std::count(from.inOrder.begin(), from.inOrder.end(), p) < std::count(to.inOrder.begin(), to.inOrder.end(), p))
            return "adds " + p;
    const auto moved = std::mismatch(from.inOrder.begin(), from.inOrder.end(), to.inOrder.begin()).first;
    return "moves " + *moved + " (placeholders without a number keep their order; %0U, %1U may change it)";
}

} // namespace tavolin
