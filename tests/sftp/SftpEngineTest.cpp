// The SFTP engine against OpenSSH's sshd on 127.0.0.1: a whole session
// through the synchronous calls, host keys, log-in methods, large
// transfers with resume, a cut connection, a SOCKS 5 proxy, and the
// process's own descriptors left as they were.
#include <gtest/gtest.h>

#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TestFiles.h"
#include "sftp/SftpTestSupport.h"

namespace {

TEST_F(SftpTest, WholeSessionListsMovesAndChangesFilesAndNeverTracesThePassword) {
    ASSERT_TRUE(Ssh.PutFile("pub/hello.txt", "hello over ssh\n"));
    ASSERT_TRUE(Ssh.PutFile(std::string("pub/bad\nname"), "x"));
    ASSERT_TRUE(Sftp.Connect()) << Sftp.ErrorMessage() << Trace;
    EXPECT_EQ(Sftp.HostKey().Fingerprint, Ssh.HostFingerprint());
    ASSERT_TRUE(Sftp.Pwd());
    EXPECT_EQ(Sftp.ReplyDirName(), Ssh.Home());
    Sftp.HostDirName = "pub";
    ASSERT_TRUE(Sftp.Cwd()) << Sftp.ErrorMessage();
    EXPECT_EQ(Sftp.CurrentDir(), Ssh.Home() + "/pub");

    Sftp.HostFileName = "";
    Sftp.LocalFileName = Local.File("listing");
    ASSERT_TRUE(Sftp.Dir()) << Sftp.ErrorMessage();
    const std::string listing = ReadLocal(Local.File("listing"));
    EXPECT_NE(listing.find(" 15 "), std::string::npos) << listing;
    EXPECT_NE(listing.find(" hello.txt\r\n"), std::string::npos) << listing;
    EXPECT_EQ(listing.find("bad"), std::string::npos) << "a name with a line end is left out";

    Sftp.HostFileName = "hello.txt";
    Sftp.LocalFileName = Local.File("hello.txt");
    ASSERT_TRUE(Sftp.Get()) << Sftp.ErrorMessage();
    EXPECT_EQ(ReadLocal(Local.File("hello.txt")), "hello over ssh\n");

    Sftp.HostFileName = "made";
    ASSERT_TRUE(Sftp.Mkd()) << Sftp.ErrorMessage();
    WriteLocal(Local.File("up.bin"), RandomBytes(300000));
    Sftp.HostFileName = "made/up.bin";
    Sftp.LocalFileName = Local.File("up.bin");
    ASSERT_TRUE(Sftp.Put()) << Sftp.ErrorMessage();
    EXPECT_EQ(ReadLocal(Ssh.Home() + "/pub/made/up.bin"), RandomBytes(300000));
    Sftp.HostFileName = "made/up.bin";
    Sftp.LocalFileName = "made/renamed.bin";
    ASSERT_TRUE(Sftp.Ren()) << Sftp.ErrorMessage();
    EXPECT_EQ(ReadLocal(Ssh.Home() + "/pub/made/renamed.bin").size(), 300000u);
    Sftp.HostFileName = "made";
    EXPECT_FALSE(Sftp.Rmd()) << "a folder with a file stays";
    EXPECT_EQ(Sftp.ReplyCode(), 550);
    Sftp.HostFileName = "made/renamed.bin";
    ASSERT_TRUE(Sftp.Dele()) << Sftp.ErrorMessage();
    Sftp.HostFileName = "made";
    ASSERT_TRUE(Sftp.Rmd()) << Sftp.ErrorMessage();
    struct stat st {};
    EXPECT_NE(stat((Ssh.Home() + "/pub/made").c_str(), &st), 0);
    Sftp.HostDirName = "hello.txt";
    EXPECT_FALSE(Sftp.Cwd());
    EXPECT_EQ(Sftp.CurrentDir(), Ssh.Home() + "/pub");
    Sftp.HostFileName = "missing";
    Sftp.LocalFileName = Local.File("hello.txt");
    EXPECT_FALSE(Sftp.Get());
    EXPECT_EQ(ReadLocal(Local.File("hello.txt")), "hello over ssh\n") << "a refused download keeps the file";
    EXPECT_TRUE(Sftp.Connected()) << "a refusal leaves the session up";
    ASSERT_TRUE(Sftp.Quit());
    EXPECT_FALSE(Sftp.Connected());
    EXPECT_EQ(Trace.find(Ssh.Password()), std::string::npos);
}

TEST_F(SftpTest, HostKeysUnknownTrustedOnceOrAlwaysAndChangedAndWrongPassword) {
    ASSERT_TRUE(peers::WriteTextFile(KnownHosts, "", 0600));
    EXPECT_FALSE(Sftp.Connect());
    EXPECT_EQ(Sftp.ReplyCode(), 551);
    EXPECT_TRUE(Sftp.HostKeyRefused());
    EXPECT_FALSE(Sftp.HostKeyChanged());
    EXPECT_EQ(Sftp.HostKey().Fingerprint, Ssh.HostFingerprint());
    EXPECT_FALSE(Sftp.Connected());
    ASSERT_TRUE(Sftp.TrustHostKey(false));
    ASSERT_TRUE(Sftp.Connect()) << Sftp.ErrorMessage();
    ASSERT_TRUE(Sftp.Quit());
    EXPECT_EQ(peers::ReadTextFile(KnownHosts), "") << "trusted once is not stored";

    TSftpClient fresh;
    fresh.HostName = "127.0.0.1";
    fresh.Port = Sftp.Port;
    fresh.UserName = Ssh.User();
    fresh.PassWord = "wrong";
    fresh.KnownHostsFile = KnownHosts;
    fresh.KeyFolder = Sftp.KeyFolder;
    fresh.UseAgent = false;
    EXPECT_FALSE(fresh.Connect());
    ASSERT_TRUE(fresh.TrustHostKey(true));
    EXPECT_NE(peers::ReadTextFile(KnownHosts).find("[127.0.0.1]:" + Sftp.Port + " ssh-ed25519 "),
              std::string::npos);
    EXPECT_FALSE(fresh.Connect()) << "wrong password";
    EXPECT_EQ(fresh.ReplyCode(), 530);
    EXPECT_FALSE(fresh.HostKeyRefused());
    fresh.PassWord = Ssh.Password();
    fresh.CancelAsync();
    ASSERT_TRUE(fresh.Connect()) << "the stored key is trusted: " << fresh.ErrorMessage();
    fresh.Quit();

    // A known_hosts with another key for the host: refused, both shown.
    ASSERT_TRUE(peers::WriteTextFile(KnownHosts, "# comment\n" + Ssh.OtherKnownHostsLine(), 0600));
    TSftpClient changed;
    changed.HostName = "127.0.0.1";
    changed.Port = Sftp.Port;
    changed.UserName = Ssh.User();
    changed.PassWord = Ssh.Password();
    changed.KnownHostsFile = KnownHosts;
    changed.AcceptNewHostKey = true;
    changed.HostKeyPin = Ssh.HostFingerprint();
    EXPECT_FALSE(changed.Connect());
    EXPECT_EQ(changed.ReplyCode(), 552);
    EXPECT_TRUE(changed.HostKeyChanged());
    EXPECT_NE(changed.ErrorMessage().find(Ssh.HostFingerprint()), std::string::npos);
    EXPECT_NE(changed.ErrorMessage().find(changed.HostKey().KnownFingerprint), std::string::npos);
    EXPECT_FALSE(changed.HostKey().KnownFingerprint.empty());
    EXPECT_FALSE(changed.TrustHostKey(true)) << "no way past a changed key";
}

TEST_F(SftpTest, KeyFileLogInAndPinnedKey) {
    ASSERT_TRUE(peers::WriteTextFile(KnownHosts, "", 0600));
    const std::string keys = Local.MakeDir("keys");
    ASSERT_TRUE(peers::WriteTextFile(keys + "/id_ed25519", peers::ReadTextFile(Ssh.ClientKey()), 0600));
    Sftp.KeyFolder = keys;
    Sftp.PassWord.clear();
    Sftp.HostKeyPin = Ssh.HostFingerprint();
    ASSERT_TRUE(Sftp.Connect()) << Sftp.ErrorMessage() << Trace;
    EXPECT_NE(Trace.find("Logged in with key " + keys + "/id_ed25519"), std::string::npos);
    Sftp.Quit();

    // The same key under a passphrase: asked once, then the log-in works;
    // declined, the key is passed over and the log-in refused.
    const peers::CommandResult encrypt = peers::RunCommand(
        {"/usr/bin/ssh-keygen", "-q", "-p", "-P", "", "-N", "secret words", "-f", keys + "/id_ed25519"});
    ASSERT_EQ(encrypt.ExitCode, 0) << encrypt.Output;
    std::vector<std::string> asked;
    std::string answer = "secret words";
    Sftp.OnPassphrase = [&](TObject*, const std::string& KeyFile, std::string& Passphrase) {
        asked.push_back(KeyFile);
        Passphrase = answer;
        return !answer.empty();
    };
    ASSERT_TRUE(Sftp.Connect()) << Sftp.ErrorMessage() << Trace;
    EXPECT_EQ(asked, (std::vector<std::string>{keys + "/id_ed25519"}));
    EXPECT_EQ(Trace.find("secret words"), std::string::npos);
    Sftp.Quit();
    answer.clear();
    EXPECT_FALSE(Sftp.Connect());
    EXPECT_EQ(Sftp.ReplyCode(), 530);
    EXPECT_EQ(asked.size(), 2u);
}

TEST_F(SftpTest, ConnectionCutMidTransferEndsWithAnErrorAndTheEngineConnectsAgain) {
    ASSERT_TRUE(WriteRandomFile(Ssh.Home() + "/cut.bin", 256u << 20, 9));
    ASSERT_TRUE(Sftp.Connect()) << Sftp.ErrorMessage();
    bool cut = false;
    Sftp.OnProgress = [&](TObject*, std::int64_t Count, bool&) {
        if (!cut && Count > (8 << 20)) {
            cut = true;
            Ssh.CutSessions();
        }
    };
    Sftp.HostFileName = "cut.bin";
    Sftp.LocalFileName = Local.File("cut.bin");
    EXPECT_FALSE(Sftp.Get());
    EXPECT_TRUE(cut);
    EXPECT_EQ(Sftp.ReplyCode(), 426) << Sftp.ErrorMessage();
    EXPECT_FALSE(Sftp.TimedOut);
    EXPECT_FALSE(Sftp.Connected());
    Sftp.OnProgress = nullptr;
    ASSERT_TRUE(Sftp.Connect()) << Sftp.ErrorMessage();
    ASSERT_TRUE(Sftp.Pwd());
    Sftp.Quit();
}

TEST_F(SftpTest, ThroughSocks5Proxy) {
    peers::MicrosocksProxy socks;
    ASSERT_TRUE(socks.Start()) << socks.Error();
    Sftp.SetConnectionType(ftpSocks5);
    Sftp.SetSocksServer("127.0.0.1");
    Sftp.SetSocksPort(std::to_string(socks.Port()));
    ASSERT_TRUE(Ssh.PutFile("via.txt", "through the proxy"));
    ASSERT_TRUE(Sftp.Connect()) << Sftp.ErrorMessage() << Trace;
    Sftp.HostFileName = "via.txt";
    Sftp.LocalFileName = Local.File("via.txt");
    ASSERT_TRUE(Sftp.Get()) << Sftp.ErrorMessage();
    EXPECT_EQ(ReadLocal(Local.File("via.txt")), "through the proxy");
    Sftp.Quit();
}

// libssh2 switches the descriptor it is handed to non-blocking. Our socket
// handles are numbered apart from the system's descriptors: whichever
// descriptor shares a handle's number (standard output, a pipe) must keep
// its mode while a session is open.
TEST_F(SftpTest, TheProcessDescriptorsKeepTheirModeDuringASession) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    std::vector<int> stand;
    for (int fd = 3; fd < 600; ++fd)
        if (fcntl(fd, F_GETFD) == -1 && dup2(pipeFds[1], fd) == fd) stand.push_back(fd);
    const bool connected = Sftp.Connect();
    const int flags = fcntl(pipeFds[1], F_GETFL);
    for (int fd : stand) close(fd);
    ASSERT_TRUE(connected) << Sftp.ErrorMessage();
    EXPECT_EQ(flags & O_NONBLOCK, 0) << "a descriptor numbered like a socket handle turned non-blocking";
    EXPECT_EQ(fcntl(1, F_GETFL) & O_NONBLOCK, 0);
    Sftp.Quit();
    close(pipeFds[0]);
    close(pipeFds[1]);
}

TEST(SftpRefusals, NoSftpSubsystemAndNoServerAreClearErrors) {
    peers::SshServer ssh({.Sftp = false});
    ASSERT_TRUE(ssh.Start()) << ssh.Error();
    peers::TempDir local;
    TSftpClient sftp;
    sftp.HostName = "127.0.0.1";
    sftp.Port = std::to_string(ssh.Port());
    sftp.UserName = ssh.User();
    sftp.PassWord = ssh.Password();
    sftp.KnownHostsFile = local.File("known_hosts");
    sftp.KeyFolder = local.Path();
    sftp.UseAgent = false;
    sftp.AcceptNewHostKey = true;
    EXPECT_FALSE(sftp.Connect());
    EXPECT_NE(sftp.ErrorMessage().find("SFTP subsystem"), std::string::npos) << sftp.ErrorMessage();
    EXPECT_FALSE(sftp.Connected());
    ssh.Stop();
    EXPECT_FALSE(sftp.Connect());
    EXPECT_EQ(sftp.ReplyCode(), 500);
    EXPECT_FALSE(sftp.TimedOut);

    // Servers that drop the connection in the key exchange, reset it, or
    // are no SSH server at all: a clear error at once, nothing left open.
    const std::vector<std::vector<peers::ScriptStep>> scripts = {
        {peers::SendBytes("SSH-2.0-Dropper\r\n"), peers::ExpectThrough("\r\n"), peers::CloseConnection()},
        {peers::SendBytes("SSH-2.0-Resetter\r\n"), peers::ExpectThrough("\r\n"), peers::ResetConnection()},
        {peers::SendBytes("220 an FTP server\r\n"), peers::SleepFor(peers::Millis(300)), peers::CloseConnection()},
    };
    for (const auto& script : scripts) {
        peers::ScriptedPeer peer(script);
        ASSERT_TRUE(peer.Start());
        sftp.Port = std::to_string(peer.Port());
        EXPECT_FALSE(sftp.Connect());
        EXPECT_EQ(sftp.ReplyCode(), 500) << sftp.ErrorMessage();
        EXPECT_NE(sftp.ErrorMessage().find("SSH handshake failed"), std::string::npos) << sftp.ErrorMessage();
        EXPECT_FALSE(sftp.TimedOut);
        EXPECT_FALSE(sftp.Connected());
    }
}

}  // namespace
