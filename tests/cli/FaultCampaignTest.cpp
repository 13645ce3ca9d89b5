// The fault campaign: the real tarnftp against scripted servers that fail at
// every phase of a session, answer too slowly or too much, hold the data
// connection open, or hand out hostile names, and against a full disk and a
// read-only folder. Every case must end within its time-out with the exact
// exit status and a clear message, leave everything outside the chosen
// folder as it was, keep existing files whole, and report no sanitizer error.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "cli/CliTestSupport.h"
#include "peers/ScriptedPeer.h"

namespace cli {
namespace {

using peers::CloseConnection;
using peers::ExpectBytes;
using peers::ExpectPeerClose;
using peers::Millis;
using peers::ResetConnection;
using peers::ScriptedPeer;
using peers::ScriptStep;
using peers::SendBytes;
using peers::SleepFor;
using peers::WaitUntil;
using Script = std::vector<ScriptStep>;

Script operator+(Script A, const Script& B) {
    A.insert(A.end(), B.begin(), B.end());
    return A;
}

// Command read (exactly), then Reply sent.
Script Answer(const std::string& Command, const std::string& Reply) {
    return {ExpectBytes(Command + "\r\n"), SendBytes(Reply + "\r\n")};
}

Script Login() { return Script{SendBytes("220 scripted\r\n")} + Answer("USER u", "331 pw") + Answer("PASS p", "230 in"); }

std::string PasvReply(const ScriptedPeer& Data) {
    return "227 Entering Passive Mode (127,0,0,1," + std::to_string(Data.Port() / 256) + "," +
           std::to_string(Data.Port() % 256) + ")";
}

// Every file below Root with its bytes, for "nothing else changed".
std::map<std::string, std::string> Snapshot(const std::string& Root) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(Root))
        files[e.path().string()] = e.is_regular_file() ? ReadLocal(e.path().string()) : "<folder>";
    return files;
}

class FaultCampaign : public CliTest {
protected:
    void SetUp() override {
        WriteLocal(Work.File("keep.txt"), "an existing file");
        Before = Snapshot(Work.Path());
        HomeBefore = Snapshot(Home.Path());
    }

    // tarnftp in passive mode with a short time-out against Control.
    CliResult Against(const ScriptedPeer& Control, std::vector<std::string> Command,
                      std::vector<std::string> Options = {}) {
        std::vector<std::string> args = {"--passive", "--timeout", "3", "-u", "u:p", "-P",
                                         std::to_string(Control.Port())};
        args.insert(args.end(), Options.begin(), Options.end());
        args.push_back("127.0.0.1");
        args.insert(args.end(), Command.begin(), Command.end());
        CliRun run = Prepare(args);
        run.Timeout = Millis(20000);
        return RunTarnftp(run);
    }

    // The run ended by itself with Status and a message holding Message; the
    // working folder holds what it held before plus New, HOME is untouched.
    void ExpectEnded(const CliResult& R, int Status, const std::string& Message,
                     const std::map<std::string, std::string>& New = {}) {
        EXPECT_FALSE(R.TimedOut);
        EXPECT_EQ(R.Status, Status) << R.Err;
        EXPECT_TRUE(Contains(R.Err, Message)) << R.Err;
        EXPECT_FALSE(Contains(R.Err, "Sanitizer")) << R.Err;
        std::map<std::string, std::string> expected = Before;
        for (const auto& [name, bytes] : New) expected[Work.File(name)] = bytes;
        EXPECT_EQ(Snapshot(Work.Path()), expected);
        EXPECT_EQ(Snapshot(Home.Path()), HomeBefore);
    }

    std::map<std::string, std::string> Before, HomeBefore;
};

struct Cut {
    const char* Name;
    Script UpTo;     // what the server does before it goes
    std::vector<std::string> Command;
    int Status;
    const char* Message;
};

// The server closes, or resets, the control connection at each phase.
TEST_F(FaultCampaign, ControlConnectionLostAtEveryPhase) {
    ScriptedPeer listing({SendBytes("-rw-r--r-- 1 a b 1 Jan 1 00:00 half"), SleepFor(Millis(3000))});
    ScriptedPeer transfer({SendBytes("the first part of keep.txt"), SleepFor(Millis(3000))}, 2);
    ASSERT_TRUE(listing.Start());
    ASSERT_TRUE(transfer.Start());
    const std::vector<Cut> cuts = {
        {"greeting", {}, {"pwd"}, 2, "cannot connect to 127.0.0.1:"},
        {"user", Script{SendBytes("220 scripted\r\n"), ExpectBytes("USER u\r\n")}, {"pwd"}, 3, ""},
        {"pass", Script{SendBytes("220 scripted\r\n")} + Answer("USER u", "331 pw") + Script{ExpectBytes("PASS p\r\n")},
         {"pwd"}, 3, ""},
        {"pwd", Login() + Script{ExpectBytes("PWD\r\n")}, {"pwd"}, 4, "tarnftp: pwd: "},
        {"cwd of a chain", Login() + Script{ExpectBytes("MKD a/b\r\n")}, {"mkdir", "a/b"}, 4, "tarnftp: mkdir"},
        {"mid-listing", Login() + Answer("PASV", PasvReply(listing)) + Answer("LIST", "150 here it comes"), {"ls"}, 4,
         "tarnftp: ls"},
        {"mid-transfer",
         Login() + Answer("TYPE I", "200 binary") + Answer("PASV", PasvReply(transfer)) +
             Answer("RETR keep.txt", "150 sending"),
         {"get", "keep.txt"}, 4, "tarnftp: get keep.txt: "},
    };
    for (const Cut& cut : cuts) {
        for (bool reset : {false, true}) {
            SCOPED_TRACE(std::string(cut.Name) + (reset ? " (reset)" : " (closed)"));
            ScriptedPeer control(cut.UpTo + Script{reset ? ResetConnection() : CloseConnection()});
            ASSERT_TRUE(control.Start());
            CliResult r = Against(control, cut.Command);
            ExpectEnded(r, cut.Status, cut.Message);
            EXPECT_EQ(control.Failure(), "");
        }
    }
}

// Too slow, too much, too long: a greeting at one byte per second, a reply
// line of a megabyte, a listing of 100,000 lines, and a data connection that
// never closes although the server reported the transfer complete.
TEST_F(FaultCampaign, SlowHugeAndEndlessAnswers) {
    {
        SCOPED_TRACE("one byte per second");
        Script drip;
        for (char c : std::string("220 scripted\r\n")) drip = drip + Script{SendBytes(std::string(1, c)), SleepFor(Millis(1000))};
        ScriptedPeer control(drip);
        ASSERT_TRUE(control.Start());
        ExpectEnded(Against(control, {"pwd"}), 6, "no answer within 3 seconds");
    }
    {
        SCOPED_TRACE("a reply line of a megabyte");
        ScriptedPeer control(Login() + Script{ExpectBytes("PWD\r\n"), SendBytes("257 \"" + std::string(1 << 20, 'x'))});
        ASSERT_TRUE(control.Start());
        ExpectEnded(Against(control, {"pwd"}), 4, "tarnftp: pwd: 500 Reply line too long");
    }
    {
        SCOPED_TRACE("100,000 listing lines");
        std::string lines;
        for (int i = 0; i < 100000; ++i) lines += "-rw-r--r-- 1 a b 1 Jan 1 00:00 file" + std::to_string(i) + "\r\n";
        ScriptedPeer data({SendBytes(lines), CloseConnection()});
        ASSERT_TRUE(data.Start());
        ScriptedPeer control(Login() + Answer("PASV", PasvReply(data)) + Answer("LIST", "150 here") +
                             Script{SendBytes("226 done\r\n")} + Answer("QUIT", "221 bye"));
        ASSERT_TRUE(control.Start());
        CliResult r = Against(control, {"ls"});
        ExpectEnded(r, 0, "");
        EXPECT_EQ(r.Out, lines);
    }
    {
        SCOPED_TRACE("data connection never closed");
        ScriptedPeer data({SendBytes("some bytes"), SleepFor(Millis(10000))});
        ASSERT_TRUE(data.Start());
        ScriptedPeer control(Login() + Answer("TYPE I", "200 binary") + Answer("PASV", PasvReply(data)) +
                             Answer("RETR keep.txt", "150 sending") + Script{SendBytes("226 done\r\n"), SleepFor(Millis(10000))});
        ASSERT_TRUE(control.Start());
        ExpectEnded(Against(control, {"get", "keep.txt"}), 6, "tarnftp: get keep.txt: no answer within 3 seconds");
    }
}

// Names from a hostile listing given to mget: each file lands in the chosen
// folder under its base name, ".." is refused before anything is sent, and a
// name too long for the local file system fails alone with status 5.
TEST_F(FaultCampaign, HostileNamesStayInTheChosenFolder) {
    const std::string names = "../../escape.txt\r\na/b.txt\r\nnul\0name\r\n..\r\n" + std::string(300, 'n') + "\r\n";
    ScriptedPeer data({SendBytes(names), CloseConnection()}, 3);
    ASSERT_TRUE(data.Start());
    {
        ScriptedPeer control(Login() + Answer("PASV", PasvReply(data)) + Answer("NLST", "150 names") +
                             Script{SendBytes("226 done\r\n")} + Answer("QUIT", "221 bye"));
        ASSERT_TRUE(control.Start());
        CliResult r = Against(control, {"nlst"});
        ExpectEnded(r, 0, "");
        EXPECT_EQ(r.Out, names);
    }
    {
        ScriptedPeer control(Login());
        ASSERT_TRUE(control.Start());
        ExpectEnded(Against(control, {"mget", "a/b.txt", "sub/.."}), 1, "mget: \"sub/..\" has no file name");
    }
    ScriptedPeer control(Login() + Answer("TYPE I", "200 binary") + Answer("PASV", PasvReply(data)) +
                         Answer("RETR ../../escape.txt", "150 go") + Script{SendBytes("226 done\r\n")} +
                         Answer("PASV", PasvReply(data)) + Answer("RETR a/b.txt", "150 go") +
                         Script{SendBytes("226 done\r\n")} + Answer("QUIT", "221 bye"));
    ASSERT_TRUE(control.Start());
    CliResult r = Against(control, {"mget", "../../escape.txt", "a/b.txt", std::string(300, 'n')});
    ExpectEnded(r, 5, "tarnftp: get " + std::string(300, 'n') + ": ", {{"escape.txt", names}, {"b.txt", names}});
    EXPECT_EQ(control.Failure(), "");
}

// The local disk is full (/dev/full, a small file system of its own) or the
// folder is read-only: status 5, the file that was there is whole, and no
// partial file is left behind.
TEST_F(FaultCampaign, FullDiskAndReadOnlyFolder) {
    const std::string big(200000, 'b');
    ScriptedPeer data({SendBytes(big), CloseConnection()}, 3);
    ASSERT_TRUE(data.Start());
    auto download = [&] {
        return Login() + Answer("TYPE I", "200 binary") + Answer("PASV", PasvReply(data)) +
               Answer("RETR keep.txt", "150 go") + Script{SendBytes("226 done\r\n")} + Answer("QUIT", "221 bye");
    };
    {
        SCOPED_TRACE("/dev/full");
        ScriptedPeer control(download());
        ASSERT_TRUE(control.Start());
        ExpectEnded(Against(control, {"get", "keep.txt", "/dev/full"}), 5,
                    "tarnftp: get keep.txt: 550 Error writing local file /dev/full");
    }
    // The file system and the read-only mount exist only in the namespace
    // of the one run (as root).
    auto inPrivateMount = [&](const ScriptedPeer& control, const std::string& setup, std::vector<std::string> command,
                              const std::string& report) {
        std::vector<std::string> args = {"--passive", "--timeout", "3", "-u", "u:p", "-P", std::to_string(control.Port()),
                                         "127.0.0.1"};
        args.insert(args.end(), command.begin(), command.end());
        CliRun run = Prepare(args);
        run.Prefix = {"/usr/bin/unshare", "--mount", "--", "/bin/sh", "-c",
                      setup + " || exit 99; \"$0\" \"$@\"; s=$?; " + report + "; exit $s"};
        run.Timeout = Millis(20000);
        return RunTarnftp(run);
    };
    {
        SCOPED_TRACE("small tmpfs");
        peers::TempDir disk, seen;
        ScriptedPeer control(download());
        ASSERT_TRUE(control.Start());
        const std::string d = disk.Path();
        CliResult r = inPrivateMount(control,
                                     "mount -t tmpfs -o size=64k tmpfs " + d + " && printf precious > " + d + "/keep.txt",
                                     {"get", "keep.txt", d + "/keep.txt"},
                                     "ls -A " + d + " > " + seen.File("files") + "; cat " + d + "/keep.txt > " +
                                         seen.File("keep"));
        ExpectEnded(r, 5, "tarnftp: get keep.txt: 550 Error writing local file " + d + "/.keep.txt.part");
        EXPECT_EQ(ReadLocal(seen.File("files")), "keep.txt\n");
        EXPECT_EQ(ReadLocal(seen.File("keep")), "precious");
    }
    {
        SCOPED_TRACE("read-only folder");
        ScriptedPeer control(Login() + Answer("TYPE I", "200 binary") + Answer("QUIT", "221 bye"));
        ASSERT_TRUE(control.Start());
        const std::string w = Work.Path();
        CliResult r = inPrivateMount(control, "mount --bind " + w + " " + w + " && mount -o remount,bind,ro " + w + " && cd " + w,
                                     {"get", "keep.txt"}, "true");
        ExpectEnded(r, 5, "Read-only file system");
    }
}


// A server that says goodbye only once the client has gone (vsftpd closing a
// large file just stored on a disk is that slow): the upload ends as soon as
// its 226 is in, with QUIT sent and the connection closed behind it.
TEST_F(FaultCampaign, AnUploadEndsWithoutWaitingForTheGoodbye) {
    ScriptedPeer data({ExpectBytes("an existing file"), ExpectPeerClose()});
    ASSERT_TRUE(data.Start());
    // Shorter than the client's 3-second time-out: a client that waited for
    // the 221 would close only after it.
    ScriptedPeer control(Login() + Answer("TYPE I", "200 binary") + Answer("PASV", PasvReply(data)) +
                             Answer("STOR keep.txt", "150 go") +
                             Script{WaitUntil([&data] { return data.WaitDone(Millis(0)); }),
                                    SendBytes("226 stored\r\n"), ExpectBytes("QUIT\r\n"), ExpectPeerClose()},
                         1, Millis(2000));
    ASSERT_TRUE(control.Start());
    ExpectEnded(Against(control, {"put", Work.File("keep.txt")}), 0, "");
    EXPECT_TRUE(control.WaitDone());
    EXPECT_EQ(control.Failure(), "");
    EXPECT_EQ(data.Failure(), "");
}

}  // namespace
}  // namespace cli
