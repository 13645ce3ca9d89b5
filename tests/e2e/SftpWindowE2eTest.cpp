// The whole program on a real X server over SFTP: the site manager's
// Connect with an sftp:// site on OpenSSH's sshd, the unknown host key
// answered "Trust always" (stored in ~/.ssh/known_hosts), then a download
// and an upload of 64 MiB each through the window, byte for byte.
#include <cstdlib>

#include "TestFiles.h"
#include "app/Project1.h"
#include "peers/Peers.h"
#include "peers/SshServer.h"
#include "sites/Ufirst.h"
#include "transfer/SessionFixture.h"

namespace {

constexpr std::uint64_t kSize = std::uint64_t(64) << 20;
constexpr unsigned kDownSeed = 21, kUpSeed = 22;

class SftpWindowE2eTest : public SessionTest {};

TEST_F(SftpWindowE2eTest, SftpSiteTrustedAlwaysThenDownAndUpOnARealDisplay) {
    setenv("HOME", TempDir.c_str(), 1);
    unsetenv("SSH_AUTH_SOCK");
    peers::SshServer ssh;
    ASSERT_TRUE(ssh.Start()) << ssh.Error();
    ASSERT_TRUE(WriteRandomFile(ssh.Home() + "/big.bin", kSize, kDownSeed));
    ASSERT_TRUE(WriteRandomFile(Work + "/up.bin", kSize, kUpSeed));

    PlaceIni("[Options]\n[History]\nLast DirBox=" + Work + "\n");
    StartUp();
    Frmfirst->Show();
    Frmfirst->Edwebsite->SetText("sftp://127.0.0.1:" + std::to_string(ssh.Port()));
    Frmfirst->EdUser->SetText(ssh.User());
    Frmfirst->Edpwd->SetText(ssh.Password());
    Boxes->AnswerResult(mrYes);

    bool downloaded = false, uploaded = false;
    WhenModal([&] {
        struct ReturnAtEnd {
            ~ReturnAtEnd() { ClickOn(FrmFTP->CmdExit); }
        } returnAtEnd;
        EXPECT_EQ(QGuiApplication::platformName(), "xcb");
        ASSERT_TRUE(PumpUntil([&] { return Connected() && RowOf("big.bin") >= 0; })) << Joined(Log());
        DownloadRow("big.bin");
        ASSERT_TRUE(PumpUntil([&] { return Connected(); })) << Joined(Log());
        downloaded = IsRandomFile(Work + "/big.bin", kSize, kDownSeed);

        ASSERT_TRUE(UploadLocalFile("up.bin"));
        ASSERT_TRUE(PumpUntil([&] { return Connected() && RowOf("up.bin") >= 0; })) << Joined(Log());
        uploaded = IsRandomFile(ssh.Home() + "/up.bin", kSize, kUpSeed);
    });
    ClickOn(Frmfirst->CmdDownload);  // Connect

    EXPECT_TRUE(downloaded) << Joined(Log());
    EXPECT_TRUE(uploaded) << Joined(Log());
    ASSERT_FALSE(Boxes->Records.empty());
    EXPECT_NE(Boxes->Records[0].Text.find(ssh.HostFingerprint()), std::string::npos);
    EXPECT_NE(ReadLocal(TempDir + "/.ssh/known_hosts").find("[127.0.0.1]:" + std::to_string(ssh.Port())),
              std::string::npos);
}

}  // namespace
