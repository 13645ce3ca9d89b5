// Listings and transfers against real servers (vsftpd and pyftpdlib on
// 127.0.0.1), each in active and in passive mode: byte-for-byte downloads and
// uploads, resume, append, progress, aborts and local file failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>

#include "DataTestSupport.h"

namespace {

namespace fs = std::filesystem;

using TDataParam = std::tuple<TServerKind, bool>;  // server, passive mode

class DataTransfer : public ::testing::TestWithParam<TDataParam> {
protected:
    // One server of each kind for the whole suite; every test logs in anew.
    static TSuiteServers& Servers() {
        static TSuiteServers servers;
        return servers;
    }
    static void TearDownTestSuite() { Servers().Clear(); }

    void SetUp() override {
        Server = Servers().Get(Kind());
        ASSERT_NE(Server, nullptr) << Servers().Error();
        R.Target(*Server);
        R.Ftp.Passive = Passive();
        ASSERT_TRUE(R.Run(&TCustomFtpCli::ConnectAsync)) << R.Ftp.ErrorMessage();
        R.ExpectOneDone(ftpConnectAsync, 0);
        // Servers start in ASCII mode; pyftpdlib then rewrites line ends.
        ASSERT_TRUE(R.Run(&TCustomFtpCli::TypeBinaryAsync));
        R.ExpectOneDone(ftpTypeSetAsync, 0);
    }
    void TearDown() override {
        if (R.Ftp.Connected()) R.Run(&TCustomFtpCli::QuitAsync);
    }

    TServerKind Kind() const { return std::get<0>(GetParam()); }
    bool Passive() const { return std::get<1>(GetParam()); }
    bool Vsftpd() const { return Kind() == TServerKind::Vsftpd; }
    std::string Local(const std::string& name) const { return Dir.File(name); }
    std::string Remote(const std::string& name) const { return Server->Home() + "/" + name; }

    // Downloads `remote` into local `name`; returns the request's result.
    bool Download(const std::string& remote, const std::string& name,
                  void (TCustomFtpCli::*chain)() = &TCustomFtpCli::GetAsync) {
        R.Ftp.HostFileName = remote;
        R.Ftp.LocalFileName = Local(name);
        return R.Run(chain);
    }
    bool Upload(const std::string& name, const std::string& remote,
                void (TCustomFtpCli::*chain)() = &TCustomFtpCli::PutAsync) {
        R.Ftp.HostFileName = remote;
        R.Ftp.LocalFileName = Local(name);
        return R.Run(chain);
    }
    std::vector<std::string> CommandsSince(size_t from) const {
        auto all = Server->Commands();
        return std::vector<std::string>(all.begin() + static_cast<long>(std::min(from, all.size())),
                                        all.end());
    }

    peers::FtpServerPeer* Server = nullptr;
    peers::TempDir Dir;
    TDataFtp R;
};

TEST_P(DataTransfer, ListsIntoAFileAndThroughOnDisplayFile) {
    ASSERT_TRUE(Server->PutFile("list/alpha.txt", "a"));
    ASSERT_TRUE(Server->PutFile("list/beta.bin", "bb"));
    R.Ftp.HostFileName = "list";
    R.Ftp.LocalFileName = Local("listing.txt");
    ASSERT_TRUE(R.Run(&TCustomFtpCli::DirAsync)) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpDirAsync, 0);
    const std::string listing = ReadLocal(Local("listing.txt"));
    EXPECT_NE(listing.find("alpha.txt\r\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("beta.bin\r\n"), std::string::npos) << listing;
    EXPECT_TRUE(R.TracedPrefix("! " + std::to_string(listing.size()) + " bytes received/sent in "));

    // The same listing through OnDisplayFile, without a local file.
    R.Ftp.DisplayFileFlag = true;
    R.Ftp.LocalFileName.clear();
    ASSERT_TRUE(R.Run(&TCustomFtpCli::DirAsync)) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpDirAsync, 0);
    ASSERT_EQ(R.FileLines.size(), 2u);
    EXPECT_NE(listing.find(R.FileLines[0] + "\r\n"), std::string::npos);
    EXPECT_NE(listing.find(R.FileLines[1] + "\r\n"), std::string::npos);

    // Names only: one string per line, no line ends.
    R.FileLines.clear();
    ASSERT_TRUE(R.Run(&TCustomFtpCli::LsAsync)) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpLsAsync, 0);
    std::vector<std::string> names;
    for (const auto& l : R.FileLines) names.push_back(fs::path(l).filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"alpha.txt", "beta.bin"}));
    R.Ftp.DisplayFileFlag = false;
}

TEST_P(DataTransfer, DownloadsAndUploadsByteForByte) {
    const std::vector<std::pair<std::string, std::string>> files = {
        {"empty.bin", ""},
        {"small.txt", "Tarnwick\r\nline two\nlast line without end"},
        {"big.bin", RandomBytes(10 * 1024 * 1024)},
    };
    for (const auto& [name, content] : files) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(Server->PutFile("down/" + name, content));
        ASSERT_TRUE(Download("down/" + name, name)) << R.Ftp.ErrorMessage();
        R.ExpectOneDone(ftpGetAsync, 0);
        EXPECT_TRUE(ReadLocal(Local(name)) == content);
        if (!content.empty()) {
            ASSERT_FALSE(R.Counts.empty());
            EXPECT_EQ(R.Counts.back(), static_cast<std::int64_t>(content.size()));
        }
        EXPECT_EQ(R.Ftp.ByteCount(), static_cast<std::int64_t>(content.size()));
        // Against 127.0.0.1 the PORT command names 127,0,0,1.
        const std::string port = Server->Commands().end()[-2];
        EXPECT_EQ(port.substr(0, 15), Passive() ? "PASV" : "PORT 127,0,0,1,");

        ASSERT_TRUE(Upload(name, "up-" + name)) << R.Ftp.ErrorMessage();
        R.ExpectOneDone(ftpPutAsync, 0);
        EXPECT_TRUE(Server->FileContent("up-" + name) == content);
        EXPECT_EQ(R.Ftp.ByteCount(), static_cast<std::int64_t>(content.size()));
        EXPECT_TRUE(R.TracedPrefix("! " + std::to_string(content.size()) +
                                   " bytes received/sent in "));
    }
}

TEST_P(DataTransfer, AsciiAndBinaryTypesLeaveTheBytesAsTheServerSentThem) {
    const std::string text = "one\ntwo\n";
    ASSERT_TRUE(Server->PutFile("typed.txt", text));
    for (bool binary : {false, true}) {
        R.Ftp.SetBinary(binary);
        ASSERT_TRUE(R.Run(&TCustomFtpCli::TypeSetAsync));
        R.ExpectOneDone(ftpTypeSetAsync, 0);
        ASSERT_TRUE(Download("typed.txt", "typed.txt")) << R.Ftp.ErrorMessage();
        R.ExpectOneDone(ftpGetAsync, 0);
        // pyftpdlib sends LF as CR LF in ASCII mode; the engine adds nothing.
        const std::string wire = !binary && !Vsftpd() ? "one\r\ntwo\r\n" : text;
        EXPECT_EQ(ReadLocal(Local("typed.txt")), wire) << "binary " << binary;
    }
}

TEST_P(DataTransfer, ResumesADownloadAndRestartsAnUpload) {
    const std::string content = RandomBytes(300000, 11);
    ASSERT_TRUE(Server->PutFile("resume.bin", content));
    // Half a download already here: REST takes the local size.
    WriteLocal(Local("resume.bin"), content.substr(0, 120000));
    const size_t before = Server->Commands().size();
    ASSERT_TRUE(Download("resume.bin", "resume.bin", &TCustomFtpCli::RestGetAsync))
        << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpRestGetAsync, 0);
    EXPECT_TRUE(ReadLocal(Local("resume.bin")) == content);
    EXPECT_EQ(R.Ftp.ByteCount(), 180000);
    ASSERT_FALSE(R.Counts.empty());
    EXPECT_GE(R.Counts.front(), 120000);
    EXPECT_EQ(R.Counts.back(), 300000);
    EXPECT_EQ(R.Ftp.ResumeAt, 0);
    auto sent = CommandsSince(before);
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[1], "REST 120000");
    EXPECT_EQ(sent[2], "RETR resume.bin");

    // Half an upload already on the server: the owner gives the offset.
    ASSERT_TRUE(Server->PutFile("restart.bin", content.substr(0, 100000)));
    WriteLocal(Local("whole.bin"), content);
    R.Ftp.ResumeAt = 100000;
    ASSERT_TRUE(Upload("whole.bin", "restart.bin", &TCustomFtpCli::RestPutAsync))
        << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpPutAsync, 0);
    EXPECT_TRUE(Server->FileContent("restart.bin") == content);
    EXPECT_EQ(R.Ftp.ByteCount(), 200000);
    EXPECT_EQ(R.Ftp.ResumeAt, 0);
}

TEST_P(DataTransfer, AStaleResumeOffsetIsIgnoredWithoutItsRestStep) {
    // As a resumed download that failed half-way leaves it.
    const std::string content = RandomBytes(20000, 12);
    WriteLocal(Local("whole.bin"), content);
    R.Ftp.ResumeAt = 7000;
    ASSERT_TRUE(Upload("whole.bin", "whole.bin")) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpPutAsync, 0);
    EXPECT_TRUE(Server->FileContent("whole.bin") == content);

    R.Ftp.ResumeAt = 7000;
    R.Ftp.HostFileName.clear();
    R.Ftp.LocalFileName = Local("new-listing.txt");
    ASSERT_TRUE(R.Run(&TCustomFtpCli::DirAsync)) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpDirAsync, 0);
    EXPECT_NE(ReadLocal(Local("new-listing.txt")).find("whole.bin"), std::string::npos);
}

TEST_P(DataTransfer, SizesPastFourGiBUseSixtyFourBitOffsets) {
    const std::int64_t size = (std::int64_t(4) << 30) + 12345;
    const std::string tail = RandomBytes(6000, 3);
    ASSERT_TRUE(Server->PutFile("huge.bin", ""));
    ASSERT_TRUE(MakeSparse(Remote("huge.bin"), size, tail));

    R.Ftp.HostFileName = "huge.bin";
    ASSERT_TRUE(R.Run(&TCustomFtpCli::SizeAsync));
    R.ExpectOneDone(ftpSizeAsync, 0);
    EXPECT_EQ(R.Ftp.ReplySize(), size);

    // A local copy that lacks only the last 4 KiB: REST fetches just those.
    ASSERT_TRUE(MakeSparse(Local("huge.bin"), size - 4096, tail.substr(0, tail.size() - 4096)));
    ASSERT_TRUE(Download("huge.bin", "huge.bin", &TCustomFtpCli::RestGetAsync))
        << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpRestGetAsync, 0);
    EXPECT_EQ(FileSizeOf(Local("huge.bin")), size);
    EXPECT_TRUE(FileTail(Local("huge.bin"), 6000) == tail);
    EXPECT_EQ(R.Ftp.ByteCount(), 4096);
    ASSERT_FALSE(R.Counts.empty());
    EXPECT_EQ(R.Counts.back(), size);

    // The same the other way: the server lacks the last 3 KiB.
    const std::string upTail = RandomBytes(5000, 4);
    ASSERT_TRUE(MakeSparse(Local("up-huge.bin"), size, upTail));
    ASSERT_TRUE(Server->PutFile("up-huge.bin", ""));
    ASSERT_TRUE(MakeSparse(Remote("up-huge.bin"), size - 3072, upTail.substr(0, 5000 - 3072)));
    R.Ftp.ResumeAt = size - 3072;
    ASSERT_TRUE(Upload("up-huge.bin", "up-huge.bin", &TCustomFtpCli::RestPutAsync))
        << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpPutAsync, 0);
    EXPECT_EQ(FileSizeOf(Remote("up-huge.bin")), size);
    EXPECT_TRUE(FileTail(Remote("up-huge.bin"), 5000) == upTail);
    EXPECT_EQ(R.Ftp.ByteCount(), 3072);
    ASSERT_FALSE(R.Counts.empty());
    EXPECT_EQ(R.Counts.back(), size);
}

TEST_P(DataTransfer, AppendsToARemoteFile) {
    ASSERT_TRUE(Server->PutFile("log.txt", "first;"));
    WriteLocal(Local("more.txt"), "second;");
    ASSERT_TRUE(Upload("more.txt", "log.txt", &TCustomFtpCli::AppendAsync)) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpAppendAsync, 0);
    EXPECT_EQ(Server->FileContent("log.txt"), "first;second;");
    EXPECT_EQ(Server->Commands().back(), "APPE log.txt");
}

TEST_P(DataTransfer, AbortFromOnProgressEndsWithAnErrorAndKeepsTheSession) {
    ASSERT_TRUE(Server->PutFile("abort.bin", RandomBytes(4 * 1024 * 1024)));
    R.AbortAt = 0;
    EXPECT_FALSE(Download("abort.bin", "abort.bin"));
    R.ExpectOneDone(ftpGetAsync, 426);
    EXPECT_EQ(R.Ftp.ErrorMessage(), "426 Transfer aborted by application");
    EXPECT_TRUE(R.Traced("! Abort requested"));
    EXPECT_LT(FileSizeOf(Local("abort.bin")), 4 * 1024 * 1024);

    WriteLocal(Local("up.bin"), RandomBytes(4 * 1024 * 1024));
    EXPECT_FALSE(Upload("up.bin", "aborted-up.bin"));
    R.ExpectOneDone(ftpPutAsync, 426);
    EXPECT_EQ(R.Ftp.ErrorMessage(), "426 Transfer aborted by application");

    R.AbortAt = -1;
    ASSERT_TRUE(R.Run(&TCustomFtpCli::PwdAsync)) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpPwdAsync, 0);
}

// A file written to while it is sent (a log that grows, a file another
// program truncates or rewrites) fails the upload whatever the server
// answers: what it stored is no version of the file. The session goes on.
TEST_P(DataTransfer, AnUploadOfAFileThatChangesWhileReadFails) {
    const std::string path = Local("moving.bin");
    const std::function<void()> changes[] = {
        [&] { std::ofstream(path, std::ios::binary | std::ios::app) << "more bytes"; },
        [&] { fs::resize_file(path, 300000); },
        [&] {
            // Same size, new content: only the modification time tells.
            const timespec later[2] = {{0, UTIME_OMIT}, {std::time(nullptr) + 60, 0}};
            utimensat(AT_FDCWD, path.c_str(), later, 0);
        },
    };
    for (const auto& change : changes) {
        WriteLocal(path, RandomBytes(2 * 1024 * 1024));
        bool changed = false;
        R.Ftp.OnProgress = [&](TObject*, std::int64_t Count, bool&) {
            if (changed || Count < 600000) return;
            changed = true;
            change();
        };
        EXPECT_FALSE(Upload("moving.bin", "moving.bin"));
        R.ExpectOneDone(ftpPutAsync, 550);
        EXPECT_TRUE(changed);
        EXPECT_EQ(R.Ftp.ErrorMessage(), "550 Local file " + path +
                                            " changed while it was being sent; the upload is incomplete");
        EXPECT_TRUE(R.Ftp.LocalFileFailed);
    }
    R.Ftp.OnProgress = nullptr;
    ASSERT_TRUE(Upload("moving.bin", "moving.bin")) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpPutAsync, 0);
    EXPECT_EQ(Server->FileContent("moving.bin"), ReadLocal(path));
}

TEST_P(DataTransfer, UploadRefusedLocallySendsNoStor) {
    WriteLocal(Local("kept.txt"), "kept");
    R.Ftp.OnReadyToTransmit = [](TObject*, bool& bCancel) { bCancel = true; };
    EXPECT_FALSE(Upload("kept.txt", "never.txt"));
    R.ExpectOneDone(ftpPutAsync, 426);
    EXPECT_EQ(R.Ftp.ErrorMessage(), "426 Transmit cancelled by application");
    EXPECT_TRUE(R.Traced("! 426 Transmit cancelled by application"));
    R.Ftp.OnReadyToTransmit = nullptr;

    EXPECT_FALSE(Upload("missing.txt", "never.txt"));
    R.ExpectOneDone(ftpPutAsync, 426);
    EXPECT_EQ(R.Ftp.ErrorMessage(), "426 Unable to open local file " + Local("missing.txt"));

    for (const auto& c : Server->Commands()) EXPECT_NE(c, "STOR never.txt");
    EXPECT_FALSE(fs::exists(Remote("never.txt")));
}

TEST_P(DataTransfer, LocalFileFailuresEndWithAnError) {
    ASSERT_TRUE(Server->PutFile("data.bin", RandomBytes(200000)));
    ASSERT_TRUE(Server->PutFile("small.txt", "a few bytes\r\n"));
    // A resume offset with no local file to resume.
    R.Ftp.Options = ftpAcceptLF | ftpNoAutoResumeAt;
    R.Ftp.ResumeAt = 100;
    EXPECT_FALSE(Download("data.bin", "absent.bin", &TCustomFtpCli::RestGetAsync));
    R.ExpectOneDone(ftpRestGetAsync, 550);
    EXPECT_EQ(R.Ftp.ErrorMessage(), "Unable to open local file " + Local("absent.bin"));
    EXPECT_FALSE(fs::exists(Local("absent.bin")));
    R.Ftp.Options = ftpAcceptLF;

    // A full disk: the server's 226 must not turn it into success.
    R.Ftp.HostFileName = "data.bin";
    R.Ftp.LocalFileName = "/dev/full";
    EXPECT_FALSE(R.Run(&TCustomFtpCli::GetAsync));
    ASSERT_TRUE(PumpUntil([&] { return !R.Done.empty(); }, 5000));
    EXPECT_NE(R.Done[0].Error, 0);
    R.Done.clear();
    EXPECT_TRUE(R.Traced("! Error writing local file"));
    EXPECT_EQ(R.Ftp.ErrorMessage(), "550 Error writing local file /dev/full");

    // A file smaller than one gathered block fails the same way at the end.
    R.Ftp.HostFileName = "small.txt";
    EXPECT_FALSE(R.Run(&TCustomFtpCli::GetAsync));
    ASSERT_TRUE(PumpUntil([&] { return !R.Done.empty(); }, 5000));
    EXPECT_NE(R.Done[0].Error, 0);
    R.Done.clear();
    EXPECT_EQ(R.Ftp.ErrorMessage(), "550 Error writing local file /dev/full");

    ASSERT_TRUE(R.Run(&TCustomFtpCli::PwdAsync)) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpPwdAsync, 0);
}

TEST_P(DataTransfer, RefusedTransferCommandsEndWithTheServersCode) {
    EXPECT_FALSE(Download("no-such-file", "x.bin"));
    ASSERT_TRUE(PumpUntil([&] { return !R.Done.empty(); }, 5000));
    EXPECT_EQ(R.Done[0].Error, 550);
    R.Done.clear();
    EXPECT_EQ(R.Ftp.ErrorMessage().substr(0, 4), "550 ");

    WriteLocal(Local("y.txt"), "y");
    EXPECT_FALSE(Upload("y.txt", "no-such-folder/y.txt"));
    ASSERT_TRUE(PumpUntil([&] { return !R.Done.empty(); }, 5000));
    EXPECT_GE(R.Done[0].Error, 500);
    R.Done.clear();
    EXPECT_EQ(R.Ftp.ResumeAt, 0);
}

TEST_P(DataTransfer, EveryUploadChainRunsToItsEndThroughItsSynchronousCall) {
    const std::string content = RandomBytes(50000, 5);
    WriteLocal(Local("chain.bin"), content);
    R.Ftp.LocalFileName = Local("chain.bin");
    struct TCase {
        void (TCustomFtpCli::*Chain)();
        TFtpRequest Rq;
        std::string Remote;
        bool Appends;
    };
    const std::vector<TCase> cases = {
        {&TCustomFtpCli::PutAsync, ftpPutAsync, "c-put.bin", false},
        {&TCustomFtpCli::RestPutAsync, ftpPutAsync, "c-restput.bin", false},
        {&TCustomFtpCli::AppendAsync, ftpAppendAsync, "c-append.bin", true},
        {&TCustomFtpCli::TransmitAsync, ftpPutAsync, "c-transmit.bin", false},
        {&TCustomFtpCli::RestartPutAsync, ftpPutAsync, "c-restart.bin", false},
        {&TCustomFtpCli::TransmitAppendAsync, ftpAppendAsync, "c-tappend.bin", true},
    };
    R.Ftp.HostDirName = Vsftpd() ? Server->Home() : "/";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Remote);
        if (c.Appends) {
            ASSERT_TRUE(Server->PutFile(c.Remote, "head:"));
        }
        // The session chains open their own session.
        if (R.Ftp.Connected() && (c.Chain == &TCustomFtpCli::TransmitAsync ||
                                  c.Chain == &TCustomFtpCli::RestartPutAsync ||
                                  c.Chain == &TCustomFtpCli::TransmitAppendAsync)) {
            ASSERT_TRUE(R.Run(&TCustomFtpCli::QuitAsync));
            R.ExpectOneDone(ftpQuitAsync, 0);
        }
        R.Ftp.HostFileName = c.Remote;
        R.Ftp.ResumeAt = 0;
        // Returns only once the transfer is over: the file is whole by then.
        ASSERT_TRUE(R.Run(c.Chain)) << R.Ftp.ErrorMessage();
        EXPECT_TRUE(Server->FileContent(c.Remote) == (c.Appends ? "head:" + content : content));
        R.ExpectOneDone(c.Rq, 0);
    }
}

TEST_P(DataTransfer, SessionChainsWithADownloadOrListingRunToTheirQuit) {
    const std::string content = RandomBytes(70000, 8);
    ASSERT_TRUE(Server->PutFile("chains/get.bin", content));
    ASSERT_TRUE(R.Run(&TCustomFtpCli::QuitAsync));
    R.ExpectOneDone(ftpQuitAsync, 0);
    R.Ftp.HostDirName = Vsftpd() ? Server->Home() + "/chains" : "/chains";

    R.Ftp.HostFileName = "get.bin";
    R.Ftp.LocalFileName = Local("get.bin");
    ASSERT_TRUE(R.Run(&TCustomFtpCli::ReceiveAsync)) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpReceiveAsync, 0);
    EXPECT_TRUE(ReadLocal(Local("get.bin")) == content);
    EXPECT_FALSE(R.Ftp.Connected());
    EXPECT_EQ(Server->Commands().back(), "QUIT");

    WriteLocal(Local("get.bin"), content.substr(0, 30000));
    const size_t before = Server->Commands().size();
    ASSERT_TRUE(R.Run(&TCustomFtpCli::RestartGetAsync)) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpRestartGetAsync, 0);
    EXPECT_TRUE(ReadLocal(Local("get.bin")) == content);
    const auto sent = CommandsSince(before);
    EXPECT_NE(std::find(sent.begin(), sent.end(), "REST 30000"), sent.end());
    EXPECT_NE(std::find(sent.begin(), sent.end(), "TYPE I"), sent.end());

    R.Ftp.HostFileName.clear();
    R.Ftp.LocalFileName = Local("dir.txt");
    ASSERT_TRUE(R.Run(&TCustomFtpCli::DirectoryAsync)) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpDirectoryAsync, 0);
    EXPECT_NE(ReadLocal(Local("dir.txt")).find("get.bin\r\n"), std::string::npos);

    R.Ftp.LocalFileName = Local("ls.txt");
    ASSERT_TRUE(R.Run(&TCustomFtpCli::ListAsync)) << R.Ftp.ErrorMessage();
    R.ExpectOneDone(ftpListAsync, 0);
    EXPECT_NE(ReadLocal(Local("ls.txt")).find("get.bin"), std::string::npos);
    EXPECT_FALSE(R.Ftp.Connected());
}

INSTANTIATE_TEST_SUITE_P(
    Servers, DataTransfer,
    ::testing::Combine(::testing::Values(TServerKind::Vsftpd, TServerKind::Pyftpdlib),
                       ::testing::Bool()),
    [](const auto& info) {
        return ServerName(std::get<0>(info.param)) +
               (std::get<1>(info.param) ? "_passive" : "_active");
    });

}  // namespace
