#pragma once

// The reading of a resource file one byte at a time, as plainly as the
// format can be said, and what it learns about whether a save gives the
// bytes back: the reference that the reader's scan is checked against, in
// the tests and in the reader's fuzz target.

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "codec/charconv.h"
#include "codec/format.h"

namespace tavolin::reference {

using Entries = std::vector<std::pair<std::string, std::string>>;

struct Reading {
    Entries vle, vle2, vle3;
    bool failed = false;         // a string ran past the end
    bool charsSurvive = true;    // every character saves as itself, U+0000 only at a slot's end
    bool layoutSurvives = true;  // no marker first or right behind a string
    bool lengthIsMarker = false; // a string whose length byte would be read as a marker
    long long withoutLengthByte = 0; // the first string of those without a length byte, or 0
};

inline void AddByte(std::string& record, std::uint8_t b)
{
    record += std::to_string(b);
    record += ' ';
}

// Every byte is read in turn; the two bytes before the current one are held
// back from the gap record, so that the byte before a marker (its length)
// never enters it.
inline Reading ReadByteByByte(std::span<const std::uint8_t> bytes)
{
    Reading r;
    std::uint8_t current = 0, last = 0, beforeLast = 0;
    int held = 0;
    long long number = 0;
    bool anyString = false;
    std::string acc;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        current = bytes[pos++];
        if (held == 2)
            AddByte(acc, beforeLast);
        else
            ++held;
        if (current == kStringMarker) {
            if (pos == 1 || (anyString && held == 1)) {
                r.layoutSurvives = false;
                if (r.withoutLengthByte == 0)
                    r.withoutLengthByte = number + 1;
            }
            r.vle2.emplace_back(std::to_string(number), acc);
            acc.clear();
            const std::uint8_t length = last;
            r.lengthIsMarker |= length == kStringMarker;
            bool zeroBefore = false;
            bool survive = true; // counts only once the string is whole
            for (int k = 0; k < length; ++k) {
                if (bytes.size() - pos < 2) {
                    r.failed = true;
                    return r;
                }
                const std::uint8_t low = bytes[pos++];
                const std::uint8_t high = bytes[pos++];
                const std::uint8_t t = DecodeChar(low, high);
                current = t;
                if (low == 0 && high == 0) {
                    zeroBefore = true;
                    continue;
                }
                if (t == 0 || zeroBefore || EncodeChar(t) != FileChar{low, high})
                    survive = false;
                if (t != 0)
                    acc += static_cast<char>(t);
            }
            r.charsSurvive &= survive;
            ++number;
            anyString = true;
            r.vle3.emplace_back(std::to_string(number), std::to_string(length));
            r.vle.emplace_back(std::to_string(number), acc);
            acc.clear();
            held = 0;
        }
        beforeLast = last;
        last = current;
    }
    if (held == 2)
        acc += std::to_string(beforeLast) + " " + std::to_string(last);
    else if (held == 1)
        acc += std::to_string(last);
    r.vle2.emplace_back(std::to_string(number), acc);
    return r;
}

} // namespace tavolin::reference
