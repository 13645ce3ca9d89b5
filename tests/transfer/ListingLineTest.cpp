// How the listing file is cut into lines and a Unix long listing line, or a
// Windows server's DOS-style line, into the remote list's columns.
#include "transfer/ListingLine.h"

#include <gtest/gtest.h>

using Lines = std::vector<std::string>;

TEST(ListingLines, EndAtCrCrLfAndLoneLfAndStopAtCtrlZ) {
    EXPECT_EQ(SplitListingLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    // An empty line between two line ends is a line; a final line end adds none.
    EXPECT_EQ(SplitListingLines("a\r\n\r\nb\r\n"), (Lines{"a", "", "b"}));
    // LF CR is two line ends: only CR LF belongs together.
    EXPECT_EQ(SplitListingLines("a\n\rb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitListingLines("a\r\nb\x1a" "c\r\nd\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitListingLines(""), Lines{});
    EXPECT_EQ(SplitListingLines(std::string("x\0y\r\n", 5)), Lines{std::string("x\0y", 3)});
}

TEST(ListingLines, LongLinesStayWhole) {
    const std::string name(100000, 'n');
    const Lines lines = SplitListingLines("-rw-r--r-- 1 u g 1 Jan 5 12:30 " + name + "\r\n");
    ASSERT_EQ(lines.size(), 1u);
    TListingRow row;
    ASSERT_TRUE(ParseListingLine(lines[0], row));
    EXPECT_EQ(row.Name, name);
}

TEST(ListingLine, CutsTheLongListingLayout) {
    TListingRow row;
    ASSERT_TRUE(ParseListingLine("drwxr-xr-x 2 user group 512 Jan 5 12:30 docs", row));
    EXPECT_EQ(row.Name, "docs");
    EXPECT_EQ(row.Size, "512");
    EXPECT_EQ(row.Modified, "Jan 5 12:30");
    EXPECT_EQ(row.IsFolder, 1);

    // vsftpd's runs of spaces; inner and trailing spaces of the name stay.
    ASSERT_TRUE(ParseListingLine("-rw-r--r--    1 1001     1001        10240 Dec 31  1999 old report.txt  ", row));
    EXPECT_EQ(row.Name, "old report.txt  ");
    EXPECT_EQ(row.Size, "10240");
    EXPECT_EQ(row.Modified, "Dec 31 1999");
    EXPECT_EQ(row.IsFolder, 0);

    ASSERT_TRUE(ParseListingLine("lrwxrwxrwx 1 root root 7 Mar 1 09:00 bin -> usr/bin", row));
    EXPECT_EQ(row.Name, "bin -> usr/bin");
    EXPECT_EQ(row.IsFolder, 1);
    EXPECT_TRUE(row.IsLink);

    // Tabs are ordinary characters, inside a field as in the name.
    ASSERT_TRUE(ParseListingLine("-rw-r--r-- 1 u\tg x 7 Mar 1 09:00 tab\tname", row));
    EXPECT_EQ(row.Size, "7");
    EXPECT_EQ(row.Name, "tab\tname");
}

TEST(ListingLine, CapitalDAndLMarkFoldersOthersDoNot) {
    TListingRow row;
    for (const char* line : {"D 1 u g 1 Jan 1 1999 x", "L 1 u g 1 Jan 1 1999 x", "d 1 u g 1 Jan 1 1999 x"}) {
        ASSERT_TRUE(ParseListingLine(line, row)) << line;
        EXPECT_EQ(row.IsFolder, 1) << line;
    }
    for (const char* line : {"-rw 1 u g 1 Jan 1 1999 x", "c 1 u g 1 Jan 1 1999 x", " d 1 u g 1 Jan 1 1999 x"}) {
        ASSERT_TRUE(ParseListingLine(line, row)) << line;
        EXPECT_EQ(row.IsFolder, 0) << line;
    }
}

TEST(ListingLine, LinesThatGiveNoRow) {
    TListingRow row;
    for (const char* line : {"total 48", "", "   ", "\t \x01", "drwxr-xr-x 5 user group 1024 Jan 5 12:30 .",
                             "drwxr-xr-x 5 user group 1024 Jan 5 12:30 ..", "-rw-r--r-- 1 u g 1 Jan 5 12:30",
                             "-rw-r--r-- 1 u g 1 Jan 5 12:30    "})
        EXPECT_FALSE(ParseListingLine(line, row)) << '"' << line << '"';
    // A leading blank makes an empty first field and shifts the columns.
    ASSERT_TRUE(ParseListingLine(" drwxr-xr-x 2 user group 512 Jan 5 12:30", row));
    EXPECT_EQ(row.Size, "group");
    EXPECT_EQ(row.Name, "12:30");
    EXPECT_EQ(row.IsFolder, 0);
    // Names that merely contain dots are names.
    ASSERT_TRUE(ParseListingLine("-rw-r--r-- 1 u g 1 Jan 5 12:30 ...", row));
    EXPECT_EQ(row.Name, "...");
    ASSERT_TRUE(ParseListingLine("-rw-r--r-- 1 u g 1 Jan 5 12:30 .. ", row));
    EXPECT_EQ(row.Name, ".. ");
}

TEST(ListingLine, OnlyPlainNamesAreSafe) {
    auto safe = [](const std::string& line) {
        TListingRow row;
        EXPECT_TRUE(ParseListingLine(line, row)) << line;
        return IsSafeListingRow(row);
    };
    EXPECT_TRUE(safe("-rw-r--r-- 1 u g 1 Jan 5 12:30 old report.txt"));
    EXPECT_TRUE(safe("-rw-r--r-- 1 u g 1 Jan 5 12:30 a..b"));
    EXPECT_TRUE(safe("lrwxrwxrwx 1 u g 7 Mar 1 09:00 bin -> usr/bin"));
    EXPECT_TRUE(safe("lrwxrwxrwx 1 u g 7 Mar 1 09:00 up -> ../.."));
    EXPECT_FALSE(safe("-rw-r--r-- 1 u g 1 Jan 5 12:30 ../escape.txt"));
    EXPECT_FALSE(safe("-rw-r--r-- 1 u g 1 Jan 5 12:30 /etc/passwd"));
    EXPECT_FALSE(safe("-rw-r--r-- 1 u g 1 Jan 5 12:30 sub/inner.txt"));
    // Only a link's own name stops at the arrow.
    EXPECT_FALSE(safe("-rw-r--r-- 1 u g 1 Jan 5 12:30 x -> a/b"));
    EXPECT_FALSE(safe("drwxr-xr-x 1 u g 1 Jan 5 12:30 x -> a/b"));
    EXPECT_FALSE(safe("lrwxrwxrwx 1 u g 7 Mar 1 09:00 ../out -> x"));
    EXPECT_FALSE(safe("lrwxrwxrwx 1 u g 7 Mar 1 09:00 .. -> x"));
    EXPECT_FALSE(safe(std::string("-rw-r--r-- 1 u g 1 Jan 5 12:30 a") + '\0' + "b"));
}

// As a Windows server answers LIST: two-digit or four-digit years, 12-hour
// or 24-hour times, folders marked <DIR>, names with spaces.
TEST(ListingLine, CutsTheDosLayoutBesideTheUnixOne) {
    const std::string listing =
        "01-31-24  09:15PM       <DIR>          Folder\r\n"
        "01-31-24  09:15PM                 1234 file.txt\r\n"
        "12-01-2023  11:05              1048576 Annual Report 2023.pdf\r\n"
        "02-29-24  12:00AM       <DIR>          Program Files \r\n"
        "-rw-r--r-- 1 u g 5 Jan 5 12:30 unix.txt\r\n"
        "01-31-24  09:15PM       <DIR>          .\r\n"
        "01-31-24  09:15PM       <DIR>          ..\r\n";
    std::vector<TListingRow> rows;
    for (const std::string& line : SplitListingLines(listing)) {
        TListingRow row;
        if (ParseListingLine(line, row)) rows.push_back(row);
    }
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].Name, "Folder");
    EXPECT_EQ(rows[0].Size, "");
    EXPECT_EQ(rows[0].Modified, "01-31-24 09:15PM");
    EXPECT_EQ(rows[0].IsFolder, 1);
    EXPECT_FALSE(rows[0].IsLink);
    EXPECT_EQ(rows[1].Name, "file.txt");
    EXPECT_EQ(rows[1].Size, "1234");
    EXPECT_EQ(rows[1].Modified, "01-31-24 09:15PM");
    EXPECT_EQ(rows[1].IsFolder, 0);
    EXPECT_EQ(rows[2].Name, "Annual Report 2023.pdf");
    EXPECT_EQ(rows[2].Size, "1048576");
    EXPECT_EQ(rows[2].Modified, "12-01-2023 11:05");
    EXPECT_EQ(rows[3].Name, "Program Files ");
    EXPECT_EQ(rows[3].IsFolder, 1);
    EXPECT_EQ(rows[4].Name, "unix.txt");
    EXPECT_EQ(rows[4].Modified, "Jan 5 12:30");
    for (const TListingRow& row : rows) EXPECT_TRUE(IsSafeListingRow(row)) << row.Name;

    // Lines that only look like the start of a DOS line stay Unix lines,
    // cut exactly as before.
    TListingRow row;
    for (const char* line : {"01-31-24 09:15PM <DIR>", "01-31-24  09:15PM  <DIR>", "01-31-24  09:15PM  1234"})
        EXPECT_FALSE(ParseListingLine(line, row)) << line;
    ASSERT_TRUE(ParseListingLine("01-31-240 09:15PM 12 a b c d e f", row));
    EXPECT_EQ(row.Size, "b");
    EXPECT_EQ(row.Name, "f");
    ASSERT_TRUE(ParseListingLine("1-31-24 09:15PM 12 a b c d e f", row));
    EXPECT_EQ(row.Size, "b");
    ASSERT_TRUE(ParseListingLine("01-31-24 09:15PM 12x a b c d e f", row));
    EXPECT_EQ(row.Size, "b");
    EXPECT_EQ(row.IsFolder, 0);
}

// Windows servers also group sizes by thousands and list junctions and links
// to folders (their target in brackets); a name's own leading spaces begin
// after the one space that follows the size, or after the mark's padding.
TEST(ListingLine, DosLinesWithGroupedSizesLinksAndLeadingSpaces) {
    struct Case {
        const char* line;
        const char* name;
        const char* size;
        int folder;
    };
    const Case cases[] = {
        {"01-31-24  09:15PM            1,234,567 big.iso", "big.iso", "1234567", 0},
        {"01-31-24  09:15PM                  999 small.txt", "small.txt", "999", 0},
        {"01-31-24  09:15PM    1,000,000,000,000 huge.bin", "huge.bin", "1000000000000", 0},
        {"01-31-24  09:15PM    <JUNCTION>     Documents [C:\\Users\\me\\Documents]", "Documents", "", 1},
        {"01-31-24  09:15PM    <SYMLINKD>     my old files [..\\archive\\old files]", "my old files", "", 1},
        {"01-31-24  09:15PM    <SYMLINKD>     a b c d e f", "a b c d e f", "", 1},
        {"01-31-24  09:15PM                 1234  leading space.txt", " leading space.txt", "1234", 0},
        {"01-31-24  09:15PM       <DIR>            two spaces", "  two spaces", "", 1},
        {"01-31-24  09:15PM <DIR> compact", "compact", "", 1},
    };
    for (const Case& c : cases) {
        TListingRow row;
        ASSERT_TRUE(ParseListingLine(c.line, row)) << c.line;
        EXPECT_EQ(row.Name, c.name) << c.line;
        EXPECT_EQ(row.Size, c.size) << c.line;
        EXPECT_EQ(row.IsFolder, c.folder) << c.line;
        EXPECT_EQ(row.Modified, "01-31-24 09:15PM") << c.line;
        EXPECT_TRUE(IsSafeListingRow(row)) << c.line;
    }
    // Separators in the wrong places make no DOS size: the line stays a Unix one.
    TListingRow row;
    for (const char* line : {"01-31-24  09:15PM  1234,567 a b c d e f", "01-31-24  09:15PM  1,23 a b c d e f",
                             "01-31-24  09:15PM  1, a b c d e f"}) {
        ASSERT_TRUE(ParseListingLine(line, row)) << line;
        EXPECT_EQ(row.Name, "f") << line;
    }
}
