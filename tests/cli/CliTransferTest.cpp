// Listings and transfers through the real binary, against vsftpd and
// pyftpdlib in passive and active mode: bytes compared exactly, listings
// copied out whole, resume with -C, the URL form, partial mget, and what
// happens to local files when a transfer fails.
#include <algorithm>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <tuple>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "cli/CliTestSupport.h"
#include "peers/FtpServers.h"

namespace cli {
namespace {

bool Received(const peers::FtpServerPeer& Server, const std::string& Line) {
    for (const std::string& c : Server.Commands())
        if (c == Line) return true;
    return false;
}

// A listing keeps CR LF, blank lines and bytes the way the server sent them.
const std::string kText = "first line\r\n\r\n  indented\r\nlast line without end";

using TransferParam = std::tuple<ServerKind, bool /*passive*/>;

std::string TransferName(const testing::TestParamInfo<TransferParam>& Info) {
    return std::string(std::get<0>(Info.param) == ServerKind::Vsftpd ? "vsftpd" : "pyftpdlib") +
           (std::get<1>(Info.param) ? "_passive" : "_active");
}

class CliTransferTest : public CliTest, public testing::WithParamInterface<TransferParam> {
protected:
    void SetUp() override { ASSERT_TRUE(StartServer(std::get<0>(GetParam()))); }

    CliResult Do(std::vector<std::string> Command, std::vector<std::string> Options = {}) {
        Options.push_back(std::get<1>(GetParam()) ? "--passive" : "--active");
        return RunLoggedIn(std::move(Command), std::move(Options));
    }

    std::string Local(const std::string& Name) const { return Work.File(Name); }
};

TEST_P(CliTransferTest, GetAndPutMoveBytesUnchanged) {
    const std::string binary = RandomBytes(3 * 1024 * 1024 + 17, 1);
    ASSERT_TRUE(Server->PutFile("dir/data.bin", binary));
    ASSERT_TRUE(Server->PutFile("text.txt", kText));
    ASSERT_TRUE(Server->PutFile("empty.txt", ""));

    CliResult r = Do({"get", "dir/data.bin"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(ReadLocal(Local("data.bin")) == binary) << "stored under its base name";
    EXPECT_TRUE(r.Out.empty());
    EXPECT_TRUE(r.Err.empty()) << "no progress bar when standard error is no terminal";

    r = Do({"get", "text.txt", "-"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, kText);

    r = Do({"get", "empty.txt", "copy.txt"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(access(Local("copy.txt").c_str(), F_OK), 0);
    EXPECT_EQ(ReadLocal(Local("copy.txt")), "");

    r = Do({"put", Local("data.bin"), "dir/up.bin"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(Server->FileContent("dir/up.bin") == binary);

    // (A server may turn CR LF into LF for type A: the text has none.)
    WriteLocal(Local("note.txt"), "plain\ntext\n");
    r = Do({"put", Local("note.txt")}, {"--ascii"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Server->FileContent("note.txt"), "plain\ntext\n") << "stored under its base name";
    EXPECT_TRUE(Received(*Server, "TYPE A"));
    EXPECT_TRUE(Received(*Server, "TYPE I"));
}

TEST_P(CliTransferTest, ListingsAreCopiedOutWhole) {
    ASSERT_TRUE(Server->PutFile("folder/alpha.txt", "a"));
    ASSERT_TRUE(Server->PutFile("folder/beta.txt", "bb"));
    ASSERT_TRUE(Server->MakeFolder("folder/gamma"));

    CliResult r = Do({"nlst", "folder"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    std::set<std::string> names;
    std::istringstream lines(r.Out);
    for (std::string line; std::getline(lines, line);) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r') << "line ends as the server sent them";
        line.pop_back();
        names.insert(line.substr(line.find_last_of('/') + 1));
    }
    EXPECT_EQ(names, (std::set<std::string>{"alpha.txt", "beta.txt", "gamma"}));

    r = Do({"ls", "folder"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Out, " alpha.txt\r\n")) << r.Out;
    EXPECT_TRUE(Contains(r.Out, " beta.txt\r\n")) << r.Out;
    EXPECT_TRUE(Contains(r.Out, " gamma\r\n")) << r.Out;
    EXPECT_EQ(std::count(r.Out.begin(), r.Out.end(), '\n'), 3) << r.Out;
    EXPECT_EQ(r.Out.substr(r.Out.size() - 2), "\r\n");
}

TEST_P(CliTransferTest, MultipleFilesGoOnPastAFailure) {
    ASSERT_TRUE(Server->PutFile("a.txt", "alpha"));
    ASSERT_TRUE(Server->PutFile("sub/b.txt", "beta"));
    std::string out = Work.MakeDir("out");
    CliResult r = Do({"mget", "a.txt", "missing.txt", "sub/b.txt"}, {"-o", out});
    EXPECT_EQ(r.Status, 4) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "tarnftp: get missing.txt: 550")) << r.Err;
    EXPECT_EQ(ReadLocal(out + "/a.txt"), "alpha");
    EXPECT_EQ(ReadLocal(out + "/b.txt"), "beta");
    EXPECT_EQ(access((out + "/missing.txt").c_str(), F_OK), -1) << "nothing stored for it";

    WriteLocal(Local("one.txt"), "1");
    WriteLocal(Local("two.txt"), "22");
    r = Do({"mput", Local("one.txt"), Local("nothing.txt"), Local("two.txt")});
    EXPECT_EQ(r.Status, 5) << r.Err;
    EXPECT_EQ(Server->FileContent("one.txt"), "1");
    EXPECT_EQ(Server->FileContent("two.txt"), "22");
}

TEST_P(CliTransferTest, AppendAddsToTheRemoteFile) {
    ASSERT_TRUE(Server->PutFile("log.txt", "abc"));
    WriteLocal(Local("more.txt"), "def\n");
    CliResult r = Do({"append", Local("more.txt"), "log.txt"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Server->FileContent("log.txt"), "abcdef\n");
}

TEST_P(CliTransferTest, ContinueResumesGetAndPut) {
    const std::string whole = RandomBytes(1024 * 1024 + 5, 2);
    ASSERT_TRUE(Server->PutFile("whole.bin", whole));
    WriteLocal(Local("whole.bin"), whole.substr(0, 300000));
    CliResult r = Do({"get", "whole.bin"}, {"-C"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(ReadLocal(Local("whole.bin")) == whole);
    EXPECT_TRUE(Received(*Server, "REST 300000"));

    ASSERT_TRUE(Server->PutFile("half.bin", whole.substr(0, 500000)));
    WriteLocal(Local("half.bin"), whole);
    r = Do({"put", Local("half.bin")}, {"-C"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(Server->FileContent("half.bin") == whole);
    EXPECT_TRUE(Received(*Server, "REST 500000"));

    // Nothing left to send: no upload at all.
    r = Do({"put", Local("half.bin")}, {"-C"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "nothing to send")) << r.Err;
}

TEST_P(CliTransferTest, FailedDownloadKeepsTheLocalFile) {
    WriteLocal(Local("keep.txt"), "precious");
    CliResult r = Do({"get", "missing.txt", "keep.txt"});
    EXPECT_EQ(r.Status, 4);
    EXPECT_TRUE(Contains(r.Err, "tarnftp: get missing.txt: 550")) << r.Err;
    EXPECT_EQ(ReadLocal(Local("keep.txt")), "precious");
    r = Do({"get", "missing.txt"});
    EXPECT_EQ(r.Status, 4);
    EXPECT_EQ(access(Local("missing.txt").c_str(), F_OK), -1);
}

TEST_P(CliTransferTest, LocalWriteFailureExitsWithFive) {
    ASSERT_TRUE(Server->PutFile("data.bin", RandomBytes(200000, 3)));
    CliResult r = Do({"get", "data.bin", "/dev/full"});
    EXPECT_EQ(r.Status, 5) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "tarnftp: get data.bin: 550 Error writing local file /dev/full"))
        << r.Err;
}

TEST_P(CliTransferTest, UrlAloneListsAFolderOrPrintsAFile) {
    ASSERT_TRUE(Server->PutFile("pub/readme.txt", kText));
    std::string base = "ftp://" + Server->User() + ":" + Server->Password() + "@127.0.0.1:" +
                       std::to_string(Server->Port()) + "/";
    std::string mode = std::get<1>(GetParam()) ? "--passive" : "--active";
    CliResult r = Run({mode, base + "pub/"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Out, " readme.txt\r\n")) << r.Out;
    r = Run({mode, base + "pub/readme.txt"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, kText);
}

INSTANTIATE_TEST_SUITE_P(ServersAndModes, CliTransferTest,
                         testing::Combine(testing::Values(ServerKind::Vsftpd,
                                                          ServerKind::Pyftpdlib),
                                          testing::Bool()),
                         TransferName);

// Without --active or --passive, a server that refuses PORT gets the same
// request again in passive mode, and the rest of the run stays passive;
// --active keeps the refusal.
class CliPassiveFallback : public CliTest {};

TEST_F(CliPassiveFallback, RefusedPortGoesPassiveUnlessActiveWasAsked) {
    peers::VsftpdServer::Options options;
    options.ExtraConfig = {"port_enable=NO"};
    Server = std::make_unique<peers::VsftpdServer>(options);
    ASSERT_TRUE(Server->Start()) << Server->Error();
    const std::string data = RandomBytes(100000, 5);
    ASSERT_TRUE(Server->PutFile("data.bin", data));
    ASSERT_TRUE(Server->PutFile("b.txt", "b"));

    CliResult r = RunLoggedIn({"mget", "data.bin", "b.txt"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Err, "Active mode failed; using passive mode for this session.\n");
    EXPECT_TRUE(ReadLocal(Work.Path() + "/data.bin") == data);
    EXPECT_EQ(ReadLocal(Work.Path() + "/b.txt"), "b");
    int ports = 0;
    for (const std::string& c : Server->Commands()) ports += c.rfind("PORT ", 0) == 0;
    EXPECT_EQ(ports, 1);
    EXPECT_TRUE(Received(*Server, "PASV"));

    r = RunLoggedIn({"ls"}, {"--active"});
    EXPECT_EQ(r.Status, 4);
    EXPECT_EQ(r.Err.find("Active mode failed"), std::string::npos) << r.Err;
}

}  // namespace
}  // namespace cli
