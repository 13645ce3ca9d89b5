// tarnftp with sftp:// URLs against OpenSSH's sshd on 127.0.0.1: host keys
// refused (status 7), pinned, accepted and stored, or changed; a wrong
// password (3); commands through a SOCKS 5 proxy; mirror on three sessions;
// a key's passphrase asked on the terminal; a server without the SFTP
// subsystem.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "cli/CliRunner.h"
#include "peers/Peers.h"
#include "peers/SshServer.h"

namespace cli {
namespace {

TEST(CliSftp, HostKeysPasswordsAndCommands) {
    peers::SshServer ssh;
    ASSERT_TRUE(ssh.Start()) << ssh.Error();
    ASSERT_TRUE(ssh.PutFile("pub/hello.txt", "hello over sftp\n"));
    peers::TempDir home;
    const std::string knownHosts = home.Path() + "/.ssh/known_hosts";
    auto run = [&](std::vector<std::string> args) {
        return RunTarnftp(InHome(home.Path(), std::move(args)));
    };
    const std::string base = "sftp://" + ssh.User() + ":" + ssh.Password() + "@127.0.0.1:" +
                             std::to_string(ssh.Port()) + "/";

    CliResult r = run({base + "pub/hello.txt"});
    EXPECT_EQ(r.Status, 7) << r.Err;
    EXPECT_NE(r.Err.find(ssh.HostFingerprint()), std::string::npos) << r.Err;
    EXPECT_EQ(r.Out, "");

    r = run({"--hostkey", ssh.HostFingerprint(), base + "pub/"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find(" hello.txt\r\n"), std::string::npos) << r.Out;
    EXPECT_EQ(peers::ReadTextFile(knownHosts), "") << "a pinned key is not stored";

    r = run({"--accept-new-hostkey", base + "pub/hello.txt"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "hello over sftp\n");
    EXPECT_NE(peers::ReadTextFile(knownHosts).find("[127.0.0.1]:" + std::to_string(ssh.Port())),
              std::string::npos);

    WriteLocal(home.File("up.txt"), "uploaded\n");
    r = run({base + "pub", "put", "up.txt"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadLocal(ssh.Home() + "/pub/up.txt"), "uploaded\n");
    r = run({base + "pub", "rename", "up.txt", "moved.txt"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    r = run({base + "pub", "size", "moved.txt"});
    EXPECT_EQ(r.Out, "9\n") << r.Err;
    r = run({base + "pub", "delete", "moved.txt"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    r = run({base + "pub", "delete", "moved.txt"});
    EXPECT_EQ(r.Status, 4) << r.Err;

    // A folder up and back on three sessions at once.
    ASSERT_EQ(mkdir(home.File("site").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(home.File("site/sub").c_str(), 0755), 0);
    for (int i = 0; i < 7; ++i)
        WriteLocal(home.File((i % 2 ? "site/sub/f" : "site/f") + std::to_string(i)), RandomBytes(i * 70000, i));
    r = run({"--parallel", "3", base, "mirror", "-R", home.File("site"), "pub/site"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    r = run({"--parallel", "3", base, "mirror", "pub/site", home.File("back")});
    EXPECT_EQ(r.Status, 0) << r.Err;
    for (int i = 0; i < 7; ++i) {
        const std::string path = (i % 2 ? "/sub/f" : "/f") + std::to_string(i);
        EXPECT_TRUE(ReadLocal(ssh.Home() + "/pub/site" + path) == RandomBytes(i * 70000, i)) << path;
        EXPECT_TRUE(ReadLocal(home.File("back") + path) == RandomBytes(i * 70000, i)) << path;
    }

    r = run({"sftp://" + ssh.User() + ":wrong@127.0.0.1:" + std::to_string(ssh.Port()) + "/"});
    EXPECT_EQ(r.Status, 3) << r.Err;
    EXPECT_EQ(r.Err.find("wrong"), std::string::npos) << "the password is not shown";

    peers::MicrosocksProxy socks;
    ASSERT_TRUE(socks.Start()) << socks.Error();
    r = run({"--socks5", "127.0.0.1:" + std::to_string(socks.Port()), base + "pub/hello.txt"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "hello over sftp\n");

    // The host now shows another key than the stored one: refused, whatever
    // the options say.
    ASSERT_TRUE(peers::WriteTextFile(knownHosts, ssh.OtherKnownHostsLine(), 0600));
    r = run({"--accept-new-hostkey", "--hostkey", ssh.HostFingerprint(), base + "pub/"});
    EXPECT_EQ(r.Status, 7) << r.Err;
    EXPECT_NE(r.Err.find("changed"), std::string::npos) << r.Err;

    r = run({"--hostkey", ssh.HostFingerprint(), "-u", "x:y", "127.0.0.1", "ls"});
    EXPECT_EQ(r.Status, 1) << "--hostkey without sftp://";
}

TEST(CliSftp, KeyPassphraseAskedOnTheTerminalAndARefusedSubsystem) {
    peers::SshServer ssh;
    ASSERT_TRUE(ssh.Start()) << ssh.Error();
    ASSERT_TRUE(ssh.PutFile("hello.txt", "hello with a key\n"));
    peers::TempDir home;
    const std::string key = home.MakeDir(".ssh") + "/id_ed25519";
    ASSERT_TRUE(peers::WriteTextFile(home.Path() + "/.ssh/known_hosts", ssh.KnownHostsLine(), 0600));
    ASSERT_TRUE(peers::WriteTextFile(key, peers::ReadTextFile(ssh.ClientKey()), 0600));
    ASSERT_EQ(peers::RunCommand({"/usr/bin/ssh-keygen", "-q", "-p", "-P", "", "-N", "secret words", "-f", key})
                  .ExitCode,
              0);
    const std::string url = "sftp://" + ssh.User() + "@127.0.0.1:" + std::to_string(ssh.Port()) + "/hello.txt";

    // Asked on the terminal like a password, not echoed.
    CliRun run = InHome(home.Path(), {url});
    run.StdinTerminal = run.StderrTerminal = true;
    run.TerminalAnswers = {{"Passphrase for " + key + ": ", "secret words"}};
    CliResult r = RunTarnftp(run);
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "hello with a key\n");
    EXPECT_NE(r.Err.find("Passphrase for " + key), std::string::npos) << r.Err;
    EXPECT_EQ(r.Err.find("secret words"), std::string::npos) << r.Err;

    // No terminal to ask on: the key is passed over, the log-in refused.
    r = RunTarnftp(InHome(home.Path(), {url}));
    EXPECT_EQ(r.Status, 3) << r.Err;

    peers::SshServer noSftp({.Sftp = false});
    ASSERT_TRUE(noSftp.Start()) << noSftp.Error();
    r = RunTarnftp(InHome(home.Path(), {"--accept-new-hostkey", "sftp://" + noSftp.User() + ":" + noSftp.Password() +
                                                                    "@127.0.0.1:" + std::to_string(noSftp.Port()) + "/"}));
    EXPECT_NE(r.Status, 0);
    EXPECT_NE(r.Err.find("refused the SFTP subsystem"), std::string::npos) << r.Err;
}

}  // namespace
}  // namespace cli
