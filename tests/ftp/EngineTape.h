// What an engine showed its owner during one test (the trace, the state
// changes, the completions) and the command lines it put on the wire,
// compared when the test ends with the tape checked in under
// tests/ftp/expected/tapes. The command lines follow the rest under a
// "--- commands" line; a tape without that section (its commands differed
// between the two recordings) compares only the rest. Tapes were recorded twice from
// the same code and kept only where both runs agreed, so that a timing the
// scenario leaves open does not decide the comparison; a test without a tape
// compares nothing. With TARN_ENGINE_TAPE_RECORD=<folder> set, tapes are
// written there instead.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ftp/FtpTypes.h"

class TEngineTape {
public:
    void Display(const std::string& Line) {
        if (Line.rfind("> USER ", 0) == 0) Secret(Line.substr(7));
        Lines.push_back("display " + Line);
    }
    void State(TFtpEngineState State) { Lines.push_back("state " + std::to_string(State)); }
    // A line the engine hands to its control connection (OnCommand, after any
    // rewrite): what the server reads. A line with a break in it is never
    // sent, nor is anything without a connection.
    void Command(const std::string& Line, bool Connected) {
        if (!Connected || Line.find_first_of("\r\n") != std::string::npos) return;
        // The real servers' throwaway passwords change from run to run.
        if (Line.rfind("PASS ", 0) == 0 && Line.size() >= 5 + 6) Commands.push_back("PASS <password>");
        else Commands.push_back(Line);
    }
    void Done(TFtpRequest RqType, std::uint16_t Error) {
        Lines.push_back("done " + std::to_string(RqType) + " " + std::to_string(Error));
    }
    // Names and passwords of the servers' throwaway users, hidden on the tape.
    // (Short ones are the scripted peers' fixed names.)
    void Secret(const std::string& Text) {
        if (Text.size() >= 6) Secrets.insert(Text);
    }

    // Writes or compares the tape of the running test.
    void Finish() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        if (!info || Lines.empty()) return;
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        for (char& c : name)
            if (c == '/') c = '_';
        name += "." + std::to_string(Counter()[name]++) + ".tape";
        const std::string text = Normalised(Lines) + CommandsMark + Normalised(Commands);
        if (const char* folder = std::getenv("TARN_ENGINE_TAPE_RECORD")) {
            std::ofstream(std::filesystem::path(folder) / name, std::ios::binary) << text;
            return;
        }
        std::ifstream in(std::filesystem::path(TARN_FTP_EXPECTED_DIR) / "tapes" / name, std::ios::binary);
        if (!in) return;
        std::stringstream expected;
        expected << in.rdbuf();
        const std::string tape = expected.str();
        const std::string compared = tape.find(CommandsMark) == std::string::npos ? Normalised(Lines) : text;
        EXPECT_EQ(Settled(tape), Settled(compared)) << "engine tape " << name;
    }

private:
    static std::map<std::string, int>& Counter() {
        static std::map<std::string, int> counter;
        return counter;
    }

    static constexpr const char* CommandsMark = "--- commands\n";

    // Ports, folders, timings and throwaway names change from run to run.
    std::string Normalised(const std::vector<std::string>& From) const;
    // Whether a server starts a transfer with 125 or 150 is its own race
    // (pyftpdlib says 125 when the data connection came before the command).
    static std::string Settled(const std::string& Tape) {
        std::istringstream in(Tape);
        std::string out;
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("display < 125 ", 0) == 0 || line.rfind("display < 150 ", 0) == 0)
                line = "display < 1xx (transfer starts)";
            out += line + "\n";
        }
        return out;
    }

    std::vector<std::string> Lines;
    std::vector<std::string> Commands;
    std::set<std::string> Secrets;
};
