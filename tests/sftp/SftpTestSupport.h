// The SFTP engine tests' fixture: a real sshd with a known_hosts made for
// it, and an engine pointed at it that uses no key of the machine's user.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "peers/Peers.h"
#include "peers/SshServer.h"
#include "sftp/SftpCli.h"

class SftpTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Ssh.Start()) << Ssh.Error();
        KnownHosts = Local.File("known_hosts");
        ASSERT_TRUE(peers::WriteTextFile(KnownHosts, Ssh.KnownHostsLine(), 0600));
        Sftp.HostName = "127.0.0.1";
        Sftp.Port = std::to_string(Ssh.Port());
        Sftp.UserName = Ssh.User();
        Sftp.PassWord = Ssh.Password();
        Sftp.KnownHostsFile = KnownHosts;
        Sftp.KeyFolder = Local.MakeDir("no-keys");
        Sftp.UseAgent = false;
        Sftp.Timeout = 60;
        Sftp.OnDisplay = [this](TObject*, std::string& Msg) { Trace += Msg + "\n"; };
    }

    peers::SshServer Ssh;
    peers::TempDir Local;
    std::string KnownHosts;
    TSftpClient Sftp;
    std::string Trace;
};

