#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Fields.h"

namespace tavoro {
namespace {

// A received line's fields, cut into a fresh list and into one that held a longer or a
// shorter line before: the leftovers of the earlier line never show.
TEST(FieldsTest, SplittingIntoAUsedListGivesTheSameFields) {
    const struct {
        const char* text;
        FieldList fields;
    } cases[] = {
        {"%LFPG_TWR:18.250:TWR:40:1:48.5:2.25:0",
         {"%LFPG_TWR", "18.250", "TWR", "40", "1", "48.5", "2.25", "0"}},
        {"#AALFPG_TWR", {"#AALFPG_TWR"}},
        {"", {""}},
        {"a::b:", {"a", "", "b", ""}},
        {":", {"", ""}},
    };
    const FieldList earlier[] = {{}, {"x"}, SplitText("longer field one:2:3:4:5:6:7:8:9:10", ':')};
    for (const auto& c : cases) {
        EXPECT_EQ(SplitText(c.text, ':'), c.fields) << c.text;
        for (FieldList used : earlier) {
            SplitTextInto(c.text, ':', used);
            EXPECT_EQ(used, c.fields) << c.text << " after " << used.size();
        }
    }
}

}  // namespace
}  // namespace tavoro
