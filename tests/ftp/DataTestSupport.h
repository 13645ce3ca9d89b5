// What the data-transfer tests share: an engine whose synchronous form of
// any request can be run, files of known content, and sparse big files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "FtpTestSupport.h"
#include "TestFiles.h"

// TFtpClient with RunSync public, so that every chain can be run the way the
// synchronous calls run theirs.
class TSyncFtp : public TFtpClient {
public:
    using TFtpClient::RunSync;
};

// Like TRecordedFtp, for a TSyncFtp; also records progress counts and the
// lines given to OnDisplayFile.
class TDataFtp {
public:
    TDataFtp() {
        Ftp.Timeout = 20;
        Ftp.OnDisplay = [this](TObject*, std::string& Msg) {
            Trace.push_back(Msg);
            Tape.Display(Msg);
        };
        Ftp.OnStateChange = [this](TObject*) { Tape.State(Ftp.State()); };
        Ftp.OnCommand = [this](TObject*, std::string& Cmd) { Tape.Command(Cmd, Ftp.Connected()); };
        Ftp.OnDisplayFile = [this](TObject*, std::string& Msg) { FileLines.push_back(Msg); };
        Ftp.OnProgress = [this](TObject*, std::int64_t Count, bool& Abort) {
            Counts.push_back(Count);
            Abort = AbortAt >= 0 && Count >= AbortAt;
        };
        Ftp.OnRequestDone = [this](TObject*, TFtpRequest RqType, std::uint16_t Error) {
            Done.push_back({RqType, Error});
            Tape.Done(RqType, Error);
        };
    }
    ~TDataFtp() { Tape.Finish(); }
    void Target(const peers::FtpServerPeer& server) {
        Ftp.HostName = "127.0.0.1";
        Ftp.Port = std::to_string(server.Port());
        Ftp.UserName = server.User();
        Ftp.PassWord = server.Password();
    }
    bool Run(void (TCustomFtpCli::*Method)()) {
        Done.clear();
        Counts.clear();
        return Ftp.RunSync(Method);
    }
    // Lets the posted completion arrive; checks that exactly one came.
    void ExpectOneDone(TFtpRequest rq, std::uint16_t error) {
        PumpUntil([&] { return !Done.empty(); }, 2000);
        PumpFor(30);
        ASSERT_EQ(Done.size(), 1u);
        EXPECT_EQ(Done[0].RqType, rq);
        EXPECT_EQ(Done[0].Error, error);
        Done.clear();
    }
    bool Traced(const std::string& line) const {
        for (const auto& l : Trace)
            if (l == line) return true;
        return false;
    }
    bool TracedPrefix(const std::string& prefix) const {
        for (const auto& l : Trace)
            if (l.rfind(prefix, 0) == 0) return true;
        return false;
    }

    TSyncFtp Ftp;
    std::vector<std::string> Trace;
    std::vector<std::string> FileLines;
    std::vector<std::int64_t> Counts;
    std::vector<TDone> Done;
    TEngineTape Tape;
    // OnProgress asks to abort once the count reaches this (-1: never).
    std::int64_t AbortAt = -1;
};

// Makes `path` a sparse file of `size` bytes whose last tail.size() bytes
// are `tail`.
inline bool MakeSparse(const std::string& path, std::int64_t size, const std::string& tail) {
    {
        std::ofstream create(path, std::ios::binary | std::ios::app);
    }
    std::error_code error;
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size), error);
    if (error) return false;
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(size - static_cast<std::int64_t>(tail.size()));
    f.write(tail.data(), static_cast<std::streamsize>(tail.size()));
    return static_cast<bool>(f);
}

// The last `count` bytes of a (possibly huge) file.
inline std::string FileTail(const std::string& path, std::int64_t count) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(0, std::ios::end);
    const std::int64_t size = in.tellg();
    if (size < count) return {};
    in.seekg(size - count);
    std::string out(static_cast<std::size_t>(count), '\0');
    in.read(out.data(), count);
    return out;
}

inline std::int64_t FileSizeOf(const std::string& path) {
    std::error_code error;
    auto size = std::filesystem::file_size(path, error);
    return error ? -1 : static_cast<std::int64_t>(size);
}
