// The transfer window connected to a real vsftpd on 127.0.0.1 for the
// transfer and server-button tests: one server for the whole test binary, a
// fresh window per test showing its own local folder, clicks on the remote
// list as a user makes them, and a bounded wait for the engine to settle.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "SessionFixture.h"
#include "peers/FtpServers.h"

class ServerTest : public SessionTest {
protected:
    static peers::VsftpdServer*& Server() {
        static peers::VsftpdServer* server = nullptr;
        return server;
    }
    static void TearDownTestSuite() {
        delete Server();
        Server() = nullptr;
    }

    void SetUp() override {
        SessionTest::SetUp();
        if (Server() == nullptr) {
            Server() = new peers::VsftpdServer;
            ASSERT_TRUE(Server()->Start()) << Server()->Error();
        }
        // Every test starts with an empty home of its own.
        for (const auto& entry : std::filesystem::directory_iterator(Server()->Home()))
            std::filesystem::remove_all(entry.path());
        Local = Work + "/local";
        std::filesystem::create_directories(Local);
    }

    void TearDown() override {
        if (FrmFTP != nullptr && FrmFTP->FtpClient1->Connected()) {
            FrmFTP->FtpClient1->Quit();
            Settle();
        }
        SessionTest::TearDown();
    }

    std::string Remote(const std::string& name) const { return Server()->Home() + "/" + name; }

    // The window on `Local`, connected, its first listing shown.
    TFrmFTP* Open() {
        StartIn(Local);
        Target(*Server());
        FrmFTP->CmdconnectClick(nullptr);
        Settle();
        EXPECT_EQ(FrmFTP->CmdConnect->Caption(), "Disconnect") << Joined(Log());
        EXPECT_GE(FrmFTP->ListView1->Count(), 1);
        CommandsBefore = Server()->Commands().size();
        Boxes->Records.clear();
        return FrmFTP;
    }

    // Shows the current server folder again, as after any listing.
    void Relist() {
        FrmFTP->RefreshRemoteList();
        Settle();
    }

    // The commands the server received since the connect, those starting
    // with one of the given words.
    std::vector<std::string> Sent(const std::vector<std::string>& words) const {
        std::vector<std::string> out;
        for (const std::string& c : CommandsSince(*Server(), CommandsBefore))
            for (const std::string& w : words)
                if (c == w || c.rfind(w + " ", 0) == 0) out.push_back(c);
        return out;
    }

    int Row(const std::string& caption) const {
        const int row = RowOf(caption);
        if (row < 0) ADD_FAILURE() << "no row " << caption;
        return row;
    }
    // A user's click on a row of the remote list (focus and highlight).
    void ClickRow(const std::string& caption, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        auto* tree = static_cast<QTreeWidget*>(FrmFTP->ListView1->Widget());
        const int row = Row(caption);
        ASSERT_GE(row, 0);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, modifiers,
                          tree->visualItemRect(tree->topLevelItem(row)).center());
    }

    int LogCount(const std::string& line) const {
        const std::vector<std::string> items = Log();
        return static_cast<int>(std::count(items.begin(), items.end(), line));
    }

    std::string Local;
    size_t CommandsBefore = 0;
};
