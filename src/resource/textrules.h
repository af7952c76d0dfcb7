#pragma once

// How the structure codec tells text from the numbers around it where the
// file does not say: the rules shared by the reader and its tests.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "resource/resourcefile.h"

namespace tavolin::resource {

// The byte the compiler puts before 16-bit characters that would otherwise
// start at an odd offset of their resource.
constexpr std::uint8_t kPad = 0xAB;

// The 16-bit texts of one resource's decompressed data outside `taken`
// (byte ranges already explained): LTEXTs whose pad stands where the
// compiler puts it and after which no text goes on (certain), then the best
// reading of the rest as numbers and texts (guessed). Characters of raw
// 16-bit text always start at an even offset of the resource. Returns how
// well that reading explains the bytes, to weigh against FindNarrowTexts.
double FindRawTexts(std::size_t resource, std::span<const std::uint8_t> data,
                    const std::vector<std::pair<std::size_t, std::size_t>>& taken, std::vector<Text>& out);

// The 8-bit texts of a narrow build's resource (guessed), and how well they
// explain its bytes.
double FindNarrowTexts(std::size_t resource, std::span<const std::uint8_t> data, std::vector<Text>& out);

// True when a 16-bit text found in a compressed-format file without
// compressed runs shows a Unicode build rather than a narrow one: certain,
// or an LTEXT of one script that the compiler keeps raw (it compresses every
// other text of a Unicode build).
[[nodiscard]] bool ShowsUnicodeBuild(const Text& t);

// Makes certain each 16-bit BUF of `texts` (those of a compressed-format
// file's raw resources) that is all of a resource without compressed runs
// and that the compiler keeps raw (a Unicode build compresses every other
// text): a translated TBUF in Chinese or emoji.
void VouchForWholeResources(const std::vector<Resource>& resources, std::vector<Text>& texts);

// Guesses a BUF of the one letter that ends a raw resource right after its
// last text, where another resource's texts stand alike and go on to a BUF
// that ends it: resources of one struct whose last text is one character.
// Alone, such a letter reads as well as a WORD.
void GuessLastLettersLikeSiblings(const std::vector<Resource>& resources, std::vector<Text>& texts);

// True when a Unicode build would have stored the 16-bit text `t` of
// resource `r` as a compressed run: its compressed form and the run
// lengths around it take fewer bytes than its raw characters. `runs` are
// the byte ranges of r's compressed runs. Such a raw guess is numbers.
[[nodiscard]] bool WouldBeCompressed(const Text& t, const Resource& r,
                                     const std::vector<std::pair<std::size_t, std::size_t>>& runs);

// True when `units` reads as text a person wrote: characters of the
// world's common scripts, at least one letter, no control characters but
// tab and line breaks. `withLength`: held by a length byte, which is
// evidence of its own.
[[nodiscard]] bool LooksLikeText(std::u16string_view units, bool withLength);

// True when [from, to) of a resource's data may hold a 16-bit text the
// reader did not take as one: a pad byte where a pad goes, a letter of any
// script, or two characters in a row at the even offsets where text starts.
[[nodiscard]] bool MayHoldText(std::span<const std::uint8_t> data, std::size_t from, std::size_t to);

[[nodiscard]] bool HasValidUidChecksum(std::span<const std::uint8_t> bytes);

} // namespace tavolin::resource
