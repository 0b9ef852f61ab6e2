// The JSON reader of the machine profiles takes strict JSON only.
#include <gtest/gtest.h>

#include "tools/publish/json_value.h"

namespace {

TEST(ParseJson, StrictJsonOnly) {
    for (const char* good :
         {R"({"a":[0,-0,1.5e-3,-12,10E+2],"b":"\u00e9\ud83d\ude00"})", "[]", "\"\xE4\xB8\xAD\""}) {
        std::string error;
        EXPECT_TRUE(ParseJson(good, error)) << good << ": " << error;
    }
    for (const char* bad : {"007", "[01]", "+1", ".5", "1.", "1e", "0x1F", "inf", "NaN", "[1,]",
                            "\"\\u +1a\"", "\"\\udc00\"", "\"\\ud800x\"", "\"\x01\""}) {
        std::string error;
        EXPECT_FALSE(ParseJson(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

}  // namespace
