// A gigabyte each way through the SFTP engine, byte for byte, and resumed
// in both directions.
#include <gtest/gtest.h>

#include <unistd.h>

#include "TestFiles.h"
#include "sftp/SftpTestSupport.h"

namespace {

TEST_F(SftpTest, GigabyteBothWaysWithResumeByteForByte) {
    constexpr std::uint64_t kSize = 1ull << 30;
    const std::string source = Local.File("big.bin");
    ASSERT_TRUE(WriteRandomFile(source, kSize, 5));
    ASSERT_TRUE(Sftp.Connect()) << Sftp.ErrorMessage();
    std::int64_t lastProgress = 0;
    int progressCalls = 0;
    Sftp.OnProgress = [&](TObject*, std::int64_t Count, bool&) {
        lastProgress = Count;
        ++progressCalls;
    };
    Sftp.HostFileName = "big.bin";
    Sftp.LocalFileName = source;
    ASSERT_TRUE(Sftp.Put()) << Sftp.ErrorMessage();
    EXPECT_EQ(lastProgress, static_cast<std::int64_t>(kSize));
    ASSERT_TRUE(IsRandomFile(Ssh.Home() + "/big.bin", kSize, 5));
    ASSERT_EQ(unlink(source.c_str()), 0);

    Sftp.LocalFileName = Local.File("down.bin");
    ASSERT_TRUE(Sftp.Get()) << Sftp.ErrorMessage();
    EXPECT_GT(progressCalls, 100);
    EXPECT_TRUE(IsRandomFile(Local.File("down.bin"), kSize, 5));

    // Resume: cut the local copy short and fetch the rest.
    ASSERT_EQ(truncate(Local.File("down.bin").c_str(), 123456789), 0);
    ASSERT_TRUE(Sftp.RunSync(&TCustomFtpCli::RestGetAsync)) << Sftp.ErrorMessage();
    EXPECT_TRUE(IsRandomFile(Local.File("down.bin"), kSize, 5));
    // And an upload continued from where the remote copy ends.
    ASSERT_EQ(truncate((Ssh.Home() + "/big.bin").c_str(), 987654321), 0);
    Sftp.LocalFileName = Local.File("down.bin");
    Sftp.ResumeAt = 987654321;
    ASSERT_TRUE(Sftp.RunSync(&TCustomFtpCli::RestPutAsync)) << Sftp.ErrorMessage();
    EXPECT_TRUE(IsRandomFile(Ssh.Home() + "/big.bin", kSize, 5));
    Sftp.Quit();
}

}  // namespace
