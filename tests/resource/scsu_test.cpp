#include "resource/scsu.h"

#include <gtest/gtest.h>

namespace tavolin::resource {
namespace {

TEST(Scsu, EmptyTextIsNoBytes)
{
    EXPECT_TRUE(EncodeScsu(u"").empty());
}

} // namespace
} // namespace tavolin::resource
