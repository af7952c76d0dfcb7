#pragma once

#include <algorithm>

#include <gtest/gtest.h>

#include "testutil.h"

namespace tavolin::test {

// Equal bytes; otherwise the first offset where they part and both sizes, in
// place of two dumps of whole files.
[[nodiscard]] inline ::testing::AssertionResult SameBytes(const Bytes& actual, const Bytes& expected)
{
    if (actual == expected)
        return ::testing::AssertionSuccess();
    const auto [a, e] = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    auto failure = ::testing::AssertionFailure();
    failure << "first difference at byte " << (a - actual.begin());
    if (a != actual.end() && e != expected.end())
        failure << " (" << int(*a) << " instead of " << int(*e) << ")";
    return failure << "; " << actual.size() << " bytes, " << expected.size() << " expected";
}

} // namespace tavolin::test
