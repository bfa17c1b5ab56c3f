// The natural name order and fixed-width fields.
#include "utilities/natural_order.h"
#include "utilities/pad_to_width.h"

#include <wx/filename.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TEST(NaturalOrder, OrdersPairsAsExpected)
{
    const struct {
        const char* less;
        const char* greater;
        const char* why;
    } cases[] = {
        {"2_a", "10_a", "leading numbers by value"},
        {"10_a", "10_b", "equal numbers: the rest decides"},
        {"007x", "7y", "equal numbers whatever their zeros"},
        {"7y", "0007z", "the rest after the digits decides"},
        {"b", "ba", "a proper prefix is less"},
        {"A1", "a1", "bytewise: upper case first"},
        {"1x", "x1", "digit against letter: bytewise"},
        {"\xC3\xB8", "a", "bytes above 127 order before ASCII"},
        {"", "a", "the empty name is less"},
        {"4294967296b", "0c", "numbers 2^32 apart count as equal"},
        {"2147483648", "0", "numbers beyond 31 bits wrap to negative"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_TRUE(natural_less(c.less, c.greater)) << c.less << " < " << c.greater;
        EXPECT_FALSE(natural_less(c.greater, c.less)) << c.greater << " < " << c.less;
    }
    for (const char* same : {"", "abc", "12ab"})
        EXPECT_FALSE(natural_less(same, same)) << same;
    // 2^32 and 0 are equal numbers with equal rests: neither is less.
    EXPECT_FALSE(natural_less("4294967296a", "0a"));
    EXPECT_FALSE(natural_less("0a", "4294967296a"));
}

TEST(NaturalOrder, SortsFileNamesByTheirNamePartOnly)
{
    std::vector<wxFileName> files = {wxFileName("/z/bone10.ply"), wxFileName("/a/10.ply"),
                                     wxFileName("/m/2.wrl"), wxFileName("/b/bone2.ply"),
                                     wxFileName("/c/1b.ply")};
    std::sort(files.begin(), files.end(), natural_less_file_name);
    std::vector<std::string> names;
    for (const wxFileName& f : files)
        names.emplace_back(f.GetFullName().ToStdString());
    EXPECT_EQ(names,
              (std::vector<std::string>{"1b.ply", "2.wrl", "10.ply", "bone10.ply", "bone2.ply"}));
}

TEST(PadToWidth, AppendsBlanksAndNeverCuts)
{
    EXPECT_EQ(pad_to_width("ab", 5), "ab   ");
    EXPECT_EQ(pad_to_width("abcde", 5), "abcde");
    EXPECT_EQ(pad_to_width("abcdefg", 5), "abcdefg");
    EXPECT_EQ(pad_to_width("", 2), "  ");
    // Width counts characters, so columns line up with non-ASCII names.
    EXPECT_EQ(pad_to_width("b\xC3\xB8n", 5), "b\xC3\xB8n  ");
}

} // namespace
