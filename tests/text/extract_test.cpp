#include "text/extract.h"

#include <gtest/gtest.h>

namespace quillrank {
namespace {

struct ExtractCase {
  std::string text, left, right;
  bool case_sensitive, include_markers;
  std::string expected;
};

class ExtractBetweenTest : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(ExtractBetweenTest, CutsThePiece) {
  const ExtractCase& c = GetParam();
  EXPECT_EQ(extract_between(c.text, c.left, c.right, c.include_markers, c.case_sensitive),
            c.expected)
      << "'" << c.text << "' '" << c.left << "' '" << c.right << "'";
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, ExtractBetweenTest,
    ::testing::Values(ExtractCase{"a[x]b", "[", "]", true, false, "x"},
                      ExtractCase{"a[x]b", "[", "]", false, true, "[x]"},
                      ExtractCase{"id=7;id=8", "id=", ";", true, false, "7"},
                      ExtractCase{"abc_key=5;", "KEY=", ";", true, false, "c_key=5"},
                      ExtractCase{"abc_key=5;", "KEY=", ";", false, false, "5"},
                      ExtractCase{"k:v", "k:", "", true, false, "v"},
                      ExtractCase{"k:v", "", ":", true, false, "k"},
                      ExtractCase{"k:v", "x", "", false, false, "k:v"}));

INSTANTIATE_TEST_SUITE_P(
    MissingMarkers, ExtractBetweenTest,
    ::testing::Values(
        // Right only, right absent.
        ExtractCase{"abc", "", "]", true, false, ""}, ExtractCase{"abc", "", "]", true, true, "]"},
        // Left only, left absent: the whole text when L <= 2, else without its first L - 2 bytes.
        ExtractCase{"abcdef", "xy", "", true, false, "abcdef"},
        ExtractCase{"abcdef", "wxyz", "", true, false, "cdef"},
        ExtractCase{"abcdef", "wxyz", "", true, true, "wxyzcdef"},
        // Both: left found, right absent after it.
        ExtractCase{"a[xb", "[", "]", true, false, ""},
        ExtractCase{"a[xb", "[", "]", true, true, "[]"},
        // Both: left absent with L = 1.
        ExtractCase{"ax]b", "[", "]", true, false, ""},
        ExtractCase{"ax]b", "[", "]", true, true, "[]"},
        // Both: left absent with L >= 2: from byte L - 1 up to the next right marker.
        ExtractCase{"abcdef;", "<<", ";", true, false, "abcdef"},
        ExtractCase{"abcdef;", "<<<", ";", true, true, "<<<bcdef;"},
        ExtractCase{"abcdef", "<<<", ";", true, false, ""},
        // Both empty; empty text.
        ExtractCase{"abc", "", "", true, false, ""}, ExtractCase{"", "[", "]", true, true, "[]"}));

INSTANTIATE_TEST_SUITE_P(
    CaseAndOrder, ExtractBetweenTest,
    ::testing::Values(
        // A right marker before the left one is ignored.
        ExtractCase{"]a[x]b", "[", "]", true, false, "x"},
        // Right directly after left.
        ExtractCase{"a[]b", "[", "]", true, false, ""},
        ExtractCase{"a[]b", "[", "]", true, true, "[]"},
        // Only the first left marker counts.
        ExtractCase{"[a][b]", "[", "]", true, false, "a"},
        // Two-marker form: the right marker ignores case even when case_sensitive.
        ExtractCase{"<t>x</T>", "<t>", "</t>", true, false, "x"},
        ExtractCase{"<T>x</t>", "<t>", "</t>", false, false, "x"},
        // ...but the left marker does not: absent, L = 3, so bytes from position 2 on.
        ExtractCase{"<T>x</t>", "<t>", "</t>", true, false, "T>x"},
        // Right-only form honours case_sensitive.
        ExtractCase{"abcDEF", "", "def", true, false, ""},
        ExtractCase{"abcDEF", "", "def", false, false, "abc"},
        // A marker at a second byte is not found there: 81 5B holds "[" as its second byte.
        ExtractCase{"\x81[x][y]", "[", "]", true, false, "y"}));

}  // namespace
}  // namespace quillrank
