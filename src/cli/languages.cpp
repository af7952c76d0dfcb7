#include "cli/languages.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>

namespace tavolin {

namespace {

// The platform's language numbers (the ones its resource file names carry)
// by the ISO 639 code and, where the platform tells a country apart, the
// code with its ISO 3166 country.
const std::map<std::string, unsigned, std::less<>>& Numbers()
{
    static const std::map<std::string, unsigned, std::less<>> numbers = {
        {"en", 1},     {"en_GB", 1},  {"fr", 2},     {"fr_FR", 2},  {"de", 3},     {"de_DE", 3},  {"es", 4},
        {"es_ES", 4},  {"it", 5},     {"it_IT", 5},  {"sv", 6},     {"sv_SE", 6},  {"da", 7},     {"nb", 8},
        {"no", 8},     {"fi", 9},     {"en_US", 10}, {"fr_CH", 11}, {"de_CH", 12}, {"pt", 13},    {"pt_PT", 13},
        {"tr", 14},    {"is", 15},    {"ru", 16},    {"hu", 17},    {"nl", 18},    {"nl_NL", 18}, {"nl_BE", 19},
        {"en_AU", 20}, {"fr_BE", 21}, {"de_AT", 22}, {"en_NZ", 23}, {"cs", 25},    {"sk", 26},    {"pl", 27},
        {"sl", 28},    {"zh_TW", 29}, {"zh_HK", 30}, {"zh", 31},    {"zh_CN", 31}, {"ja", 32},    {"th", 33},
        {"af", 34},    {"sq", 35},    {"am", 36},    {"ar", 37},    {"hy", 38},    {"tl", 39},    {"fil", 39},
        {"be", 40},    {"bn", 41},    {"bg", 42},    {"my", 43},    {"ca", 44},    {"hr", 45},    {"en_CA", 46},
        {"en_ZA", 48}, {"et", 49},    {"fa", 50},    {"fr_CA", 51}, {"gd", 52},    {"ka", 53},    {"el", 54},
        {"el_CY", 55}, {"gu", 56},    {"he", 57},    {"hi", 58},    {"id", 59},    {"ga", 60},    {"it_CH", 61},
        {"kn", 62},    {"kk", 63},    {"km", 64},    {"ko", 65},    {"lo", 66},    {"lv", 67},    {"lt", 68},
        {"mk", 69},    {"ms", 70},    {"ml", 71},    {"mr", 72},    {"ro_MD", 73}, {"mo", 73},    {"mn", 74},
        {"nn", 75},    {"pt_BR", 76}, {"pa", 77},    {"ro", 78},    {"sr", 79},    {"si", 80},    {"so", 81},
        {"es_419", 83}, {"es_MX", 83}, {"sw", 84},   {"sv_FI", 85}, {"ta", 87},    {"te", 88},    {"bo", 89},
        {"ti", 90},    {"tr_CY", 91}, {"tk", 92},    {"uk", 93},    {"ur", 94},    {"vi", 96},    {"cy", 97},
        {"zu", 98},    {"eu", 102},   {"gl", 103},
    };
    return numbers;
}

} // namespace

std::optional<unsigned> PlatformLanguage(std::string_view code)
{
    // "fi_FI.UTF-8@euro": the encoding and the variant name no language.
    code = code.substr(0, code.find_first_of(".@"));
    std::string language;
    std::string country;
    const auto split = code.find_first_of("_-");
    for (const char c : code.substr(0, split))
        language += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (split != std::string_view::npos)
        for (const char c : code.substr(split + 1))
            country += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto& numbers = Numbers();
    if (!country.empty())
        if (const auto it = numbers.find(language + "_" + country); it != numbers.end())
            return it->second;
    if (const auto it = numbers.find(language); it != numbers.end())
        return it->second;
    return std::nullopt;
}

std::string VariantPath(const std::string& file, unsigned language)
{
    std::filesystem::path path(file);
    const std::string extension = path.extension().string();
    const bool capitals = extension.size() > 1 &&
                          std::all_of(extension.begin() + 1, extension.end(), [](char c) { return std::isupper(static_cast<unsigned char>(c)) != 0; });
    const std::string number = (language < 10 ? "0" : "") + std::to_string(language);
    path.replace_extension((capitals ? ".R" : ".r") + number);
    return path.string();
}

} // namespace tavolin
