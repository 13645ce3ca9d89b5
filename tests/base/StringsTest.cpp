#include "base/StringList.h"
#include "base/Strings.h"

#include <gtest/gtest.h>

TEST(Strings, TrimRemovesControlCodesAndBlanksOnly) {
    EXPECT_EQ(Trim(std::string("\x01\t a b \r\n\x1f", 10)), "a b");
    EXPECT_EQ(Trim("\x7f" "x"), "\x7f" "x");  // 127 is not blank
    EXPECT_EQ(Trim("\xa0x\xa0"), "\xa0x\xa0");  // high bytes are kept
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(TrimLeft("  x "), "x ");
    EXPECT_EQ(TrimRight("  x "), "  x");
}

TEST(Strings, UpperCaseMapsOnlyAsciiLetters) {
    EXPECT_EQ(UpperCase("abz{\xe9}AZ09"), "ABZ{\xe9}AZ09");
    EXPECT_TRUE(SameText("Last Dir", "LAST dir"));
    EXPECT_FALSE(SameText("\xe9", "\xc9"));
    EXPECT_EQ(Format("Error #%d in %s", 10061, "Connect"), "Error #10061 in Connect");
}

TEST(StringList, SortedInsertsInByteOrderAndTextUsesCrLf) {
    TStringList l;
    l.Add("b");
    l.Add("a");
    EXPECT_EQ(l.Text(), "b\r\na\r\n");
    l.SetSorted(true);
    EXPECT_EQ(l[0], "a");
    EXPECT_EQ(l.Add("B"), 0);  // upper case sorts first byte-wise
    EXPECT_EQ(l.IndexOf("b"), 2);
    l.Delete(0);
    EXPECT_EQ(l.Count(), 2);
    EXPECT_THROW(l.Delete(5), std::out_of_range);
}
