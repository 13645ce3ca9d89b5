// Listing lines made from SFTP entries, read back by the window's parser
// rules: names that could escape the folder or split a line give no line.
#include <gtest/gtest.h>

#include "sftp/SftpListing.h"

TEST(SftpListing, LinesCarryTypeSizeAndNameAndRefuseUnsafeNames) {
    TSftpEntry e;
    e.Name = "my file.txt";
    e.HasPermissions = true;
    e.Permissions = 0100644;
    e.HasSize = true;
    e.Size = 1234567890123ull;
    e.HasOwner = true;
    e.Uid = 1001;
    e.Gid = 1002;
    e.HasTime = true;
    e.Modified = 1700000000;
    std::string line;
    ASSERT_TRUE(SftpListingLine(e, 1700000000 + 3600, line));
    EXPECT_EQ(line.substr(0, 10), "-rw-r--r--");
    EXPECT_NE(line.find(" 1234567890123 "), std::string::npos);
    EXPECT_EQ(line.substr(line.size() - 12), " my file.txt");
    e.Permissions = 040755;
    ASSERT_TRUE(SftpListingLine(e, 1700000000 + 400 * 86400, line));
    EXPECT_EQ(line.substr(0, 10), "drwxr-xr-x");
    EXPECT_NE(line.find(" 2023 my file.txt"), std::string::npos);  // an old date shows the year
    for (const char* bad : {"", ".", "..", "a/b", "../x", "line\nbreak", "cr\rx", " lead"}) {
        e.Name = bad;
        EXPECT_FALSE(SftpListingLine(e, 0, line)) << bad;
    }
    e.Name = std::string("nul\0x", 5);
    EXPECT_FALSE(SftpListingLine(e, 0, line));
}
