// SFTP in the transfer window against OpenSSH's sshd on 127.0.0.1: an
// sftp:// address connects with the SFTP engine; an unknown host key is
// asked about (cancel, once, always), a stored one is asked no more, a
// changed one gets an error box with both fingerprints; the remote list and
// a download work as over FTP, and plain FTP afterwards uses the FTP engine;
// a key file's passphrase is asked in a box.
#include <sys/stat.h>

#include "SessionFixture.h"
#include "TestFiles.h"
#include "peers/SshServer.h"
#include "sftp/SftpCli.h"

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class SftpWindowTest : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        // The window reads ~/.ssh/known_hosts: a home of this test's own.
        setenv("HOME", TempDir.c_str(), 1);
        unsetenv("SSH_AUTH_SOCK");
    }
    std::string KnownHosts() const { return TempDir + "/.ssh/known_hosts"; }
    void Connect(const peers::SshServer& ssh, TModalResult answer) {
        Boxes->Records.clear();
        Boxes->Answers.clear();
        if (answer != mrNone) Boxes->AnswerResult(answer);
        FrmFTP->EdServer->SetText("sftp://127.0.0.1:" + std::to_string(ssh.Port()));
        FrmFTP->EdUserID->SetText(ssh.User());
        FrmFTP->EdPassword->SetText(ssh.Password());
        FrmFTP->CmdconnectClick(nullptr);
        Settle();
    }
};

TEST_F(SftpWindowTest, HostKeyQuestionsListingDownloadAndChangedKeyAlarm) {
    peers::SshServer ssh;
    ASSERT_TRUE(ssh.Start()) << ssh.Error();
    ASSERT_TRUE(ssh.PutFile("hello.txt", "hello window\n"));
    ASSERT_TRUE(ssh.PutFile("pub/inner.txt", "x"));
    StartIn(Work);

    Connect(ssh, mrCancel);
    ASSERT_EQ(Boxes->Records.size(), 1u) << Joined(Log());
    const TDialogRecord question = Boxes->Records[0];
    EXPECT_TRUE(Contains(question.Text, ssh.HostFingerprint())) << question.Text;
    EXPECT_TRUE(Contains(question.Text, "ssh-ed25519"));
    EXPECT_EQ(question.DefaultButton, static_cast<unsigned>(mbCancel));
    EXPECT_FALSE(Connected());
    EXPECT_FALSE(FrmFTP->FtpClient1->Connected());
    EXPECT_NE(dynamic_cast<TSftpClient*>(FrmFTP->FtpClient1), nullptr);

    Connect(ssh, mrNo);  // trust once
    ASSERT_TRUE(PumpUntil([&] { return Connected(); })) << Joined(Log());
    EXPECT_NE(RowOf("hello.txt"), -1) << Joined(Rows());
    EXPECT_NE(RowOf("pub"), -1);
    EXPECT_EQ(FrmFTP->LblRemoteDir->Caption(), ssh.Home());
    struct stat st {};
    EXPECT_NE(stat(KnownHosts().c_str(), &st), 0) << "trusted once is not stored";

    // A download through the window's own transfer path.
    const std::string local = Work + "/hello.txt";
    FrmFTP->FtpClient1->HostFileName = "hello.txt";
    FrmFTP->FtpClient1->LocalFileName = local;
    ASSERT_TRUE(FrmFTP->FtpClient1->Get()) << FrmFTP->FtpClient1->ErrorMessage();
    EXPECT_EQ(ReadLocal(local), "hello window\n");
    Settle();

    FrmFTP->CmdconnectClick(nullptr);  // disconnect
    Settle();
    EXPECT_FALSE(FrmFTP->FtpClient1->Connected());

    Connect(ssh, mrCancel);  // trusted once was for that connection only
    ASSERT_EQ(Boxes->Records.size(), 1u) << Joined(Log());
    EXPECT_FALSE(Connected());

    Connect(ssh, mrYes);  // trust always
    ASSERT_TRUE(PumpUntil([&] { return Connected(); })) << Joined(Log());
    EXPECT_TRUE(Contains(peers::ReadTextFile(KnownHosts()), "[127.0.0.1]:" + std::to_string(ssh.Port())));
    FrmFTP->CmdconnectClick(nullptr);
    Settle();

    Connect(ssh, mrNone);  // stored: no question
    ASSERT_TRUE(PumpUntil([&] { return Connected(); })) << Joined(Log());
    EXPECT_TRUE(Boxes->Records.empty()) << BoxTexts()[0];
    FrmFTP->CmdconnectClick(nullptr);
    Settle();

    ASSERT_TRUE(peers::WriteTextFile(KnownHosts(), ssh.OtherKnownHostsLine(), 0600));
    Connect(ssh, mrOk);
    ASSERT_EQ(ErrorTexts().size(), 1u) << Joined(BoxTexts());
    const std::string alarm = ErrorTexts()[0];
    EXPECT_TRUE(Contains(alarm, "has changed")) << alarm;
    EXPECT_TRUE(Contains(alarm, ssh.HostFingerprint()));
    const std::string known = dynamic_cast<TSftpClient*>(FrmFTP->FtpClient1)->HostKey().KnownFingerprint;
    EXPECT_FALSE(known.empty());
    EXPECT_TRUE(Contains(alarm, known));
    EXPECT_FALSE(Connected());
    EXPECT_EQ(peers::ReadTextFile(KnownHosts()), ssh.OtherKnownHostsLine()) << "the file is left alone";

    // A plain address goes back to the FTP engine.
    FrmFTP->EdServer->SetText("127.0.0.1:1");
    FrmFTP->CmdconnectClick(nullptr);
    Settle();
    EXPECT_EQ(dynamic_cast<TSftpClient*>(FrmFTP->FtpClient1), nullptr);
}

TEST_F(SftpWindowTest, KeyPassphraseAskedInABoxAndNeverShown) {
    peers::SshServer ssh;
    ASSERT_TRUE(ssh.Start()) << ssh.Error();
    ASSERT_EQ(mkdir((TempDir + "/.ssh").c_str(), 0700), 0);
    ASSERT_TRUE(peers::WriteTextFile(KnownHosts(), ssh.KnownHostsLine(), 0600));
    const std::string key = TempDir + "/.ssh/id_ed25519";
    ASSERT_TRUE(peers::WriteTextFile(key, peers::ReadTextFile(ssh.ClientKey()), 0600));
    ASSERT_EQ(peers::RunCommand({"/usr/bin/ssh-keygen", "-q", "-p", "-P", "", "-N", "secret words", "-f", key})
                  .ExitCode,
              0);
    StartIn(Work);
    Boxes->Records.clear();
    Boxes->AnswerText("secret words");
    FrmFTP->EdServer->SetText("sftp://127.0.0.1:" + std::to_string(ssh.Port()));
    FrmFTP->EdUserID->SetText(ssh.User());
    FrmFTP->EdPassword->SetText("");
    FrmFTP->CmdconnectClick(nullptr);
    ASSERT_TRUE(PumpUntil([&] { return Connected(); })) << Joined(Log());
    ASSERT_EQ(Boxes->Records.size(), 1u);
    EXPECT_EQ(Boxes->Records[0].Kind, TDialogRecord::dkInput);
    EXPECT_TRUE(Contains(Boxes->Records[0].Text, "Passphrase for the key " + key)) << Boxes->Records[0].Text;
    EXPECT_FALSE(Contains(Joined(Log()), "secret words"));
    FrmFTP->CmdconnectClick(nullptr);
    Settle();

    // Cancelled: the key is passed over and, without a password, the log-in
    // is refused as a wrong password is.
    Boxes->Records.clear();
    Boxes->Answer({mrCancel, false, {}, {}});
    FrmFTP->CmdconnectClick(nullptr);
    Settle();
    EXPECT_FALSE(Connected());
    ASSERT_EQ(Boxes->Records.size(), 2u);
    EXPECT_EQ(Boxes->Records[0].Kind, TDialogRecord::dkInput);
    EXPECT_TRUE(Contains(Boxes->Records[1].Text, "password or user id appears to be incorrect"))
        << Boxes->Records[1].Text;
}

}  // namespace
