// Log-in methods against OpenSSH's sshd on 127.0.0.1 offering only
// keyboard-interactive (through PAM) and public keys: the password answers
// the prompts, a key of an SSH agent started here logs in, and a connection
// cut in the middle of a log-in ends it with a clear error.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "peers/Peers.h"
#include "peers/SshServer.h"
#include "sftp/SftpCli.h"

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// An ssh-agent of the test's own, on a socket in Dir, stopped by PID.
class Agent {
public:
    bool Start(const peers::TempDir& dir) {
        Socket = dir.File("agent.sock");
        if (!Process.Start({"/usr/bin/ssh-agent", "-D", "-a", Socket}, dir.File("agent.log"))) return false;
        for (int i = 0; i < 200 && access(Socket.c_str(), F_OK) != 0; ++i) usleep(10000);
        return access(Socket.c_str(), F_OK) == 0;
    }
    bool Add(const std::string& key) {
        return peers::RunCommand({"/usr/bin/env", "SSH_AUTH_SOCK=" + Socket, "/usr/bin/ssh-add", "-q", key})
                   .ExitCode == 0;
    }
    std::string Socket;
    peers::PeerProcess Process;
};

TEST(SftpLogIn, KeyboardInteractiveAgentKeyAndALogInCutShort) {
    peers::SshServer ssh({.Sftp = true, .KeyboardInteractive = true, .Password = false});
    ASSERT_TRUE(ssh.Start()) << ssh.Error();
    peers::TempDir local;
    std::string trace;
    TSftpClient sftp;
    sftp.HostName = "127.0.0.1";
    sftp.Port = std::to_string(ssh.Port());
    sftp.UserName = ssh.User();
    sftp.KnownHostsFile = local.File("known_hosts");
    ASSERT_TRUE(peers::WriteTextFile(sftp.KnownHostsFile, ssh.KnownHostsLine(), 0600));
    sftp.KeyFolder = local.MakeDir("no-keys");
    sftp.UseAgent = false;
    sftp.Timeout = 60;
    sftp.OnDisplay = [&](TObject*, std::string& Msg) { trace += Msg + "\n"; };

    // Only keyboard-interactive takes a password here: the prompts get it.
    sftp.PassWord = ssh.Password();
    ASSERT_TRUE(sftp.Connect()) << sftp.ErrorMessage() << trace;
    EXPECT_TRUE(Contains(trace, "Authentication methods: publickey,keyboard-interactive")) << trace;
    EXPECT_TRUE(Contains(trace, "> keyboard-interactive ****"));
    EXPECT_FALSE(Contains(trace, ssh.Password()));
    ASSERT_TRUE(sftp.Pwd());
    EXPECT_EQ(sftp.ReplyDirName(), ssh.Home());
    sftp.Quit();
    sftp.PassWord = "wrong";
    EXPECT_FALSE(sftp.Connect());
    EXPECT_EQ(sftp.ReplyCode(), 530) << sftp.ErrorMessage();
    sftp.CancelAsync();

    // No password, a key in the agent: the agent's key logs in.
    Agent agent;
    ASSERT_TRUE(agent.Start(local)) << agent.Process.Log();
    ASSERT_TRUE(agent.Add(ssh.ClientKey())) << agent.Process.Log();
    setenv("SSH_AUTH_SOCK", agent.Socket.c_str(), 1);
    sftp.UseAgent = true;
    sftp.PassWord.clear();
    trace.clear();
    const bool agentLogIn = sftp.Connect();
    unsetenv("SSH_AUTH_SOCK");
    ASSERT_TRUE(agentLogIn) << sftp.ErrorMessage() << trace;
    EXPECT_TRUE(Contains(trace, "Logged in with a key of the SSH agent")) << trace;
    sftp.Quit();
    agent.Process.Stop();
    sftp.UseAgent = false;

    // The server goes away while the password is being checked: a clear
    // error at once, nothing left open, and the next log-in works.
    sftp.PassWord = ssh.Password();
    sftp.OnDisplay = [&](TObject*, std::string& Msg) {
        trace += Msg + "\n";
        if (Msg == "> keyboard-interactive ****") ssh.CutSessions();
    };
    EXPECT_FALSE(sftp.Connect());
    EXPECT_EQ(sftp.ReplyCode(), 426) << sftp.ErrorMessage();
    EXPECT_TRUE(Contains(sftp.ErrorMessage(), "login")) << sftp.ErrorMessage();
    EXPECT_FALSE(sftp.TimedOut);
    EXPECT_FALSE(sftp.Connected());
    sftp.OnDisplay = nullptr;
    ASSERT_TRUE(sftp.Connect()) << sftp.ErrorMessage();
    sftp.Quit();
}

}  // namespace
