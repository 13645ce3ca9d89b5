// The transfer window connected to a real vsftpd on 127.0.0.1: one server for
// the whole test binary, a fresh window per test showing its own local
// folder, and helpers to click the remote list as a user does and to wait,
// bounded, for the engine to settle.
#pragma once

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include <QElapsedTimer>
#include <QTreeWidget>

#include "TransferFixture.h"
#include "peers/FtpServers.h"

class ServerTest : public TransferTest {
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
        TransferTest::SetUp();
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
        TransferTest::TearDown();
    }

    std::string Remote(const std::string& name) const { return Server()->Home() + "/" + name; }

    // The window on `Local`, connected, its first listing shown.
    TFrmFTP* Connected() {
        StartIn(Local);
        FrmFTP->FtpClient1->Port = std::to_string(Server()->Port());
        FrmFTP->EdServer->SetText("127.0.0.1");
        FrmFTP->EdUserID->SetText(Server()->User());
        FrmFTP->EdPassword->SetText(Server()->Password());
        FrmFTP->CmdconnectClick(nullptr);
        Settle();
        EXPECT_EQ(FrmFTP->CmdConnect->Caption(), "Disconnect");
        EXPECT_GE(FrmFTP->ListView1->Count(), 1);
        CommandsBefore = Server()->Commands().size();
        Boxes->Records.clear();
        return FrmFTP;
    }

    // Pumps until the engine has been idle for a while (the completion
    // table's follow-up requests included); bounded.
    void Settle() {
        QElapsedTimer total, idle;
        total.start();
        idle.start();
        while (total.elapsed() < 15000) {
            App->ProcessMessages();
            const TFtpEngineState s = FrmFTP->FtpClient1->State();
            if (s != fesReady && s != fesBetweenSteps) idle.restart();
            if (idle.elapsed() > 300) return;
            usleep(2000);
        }
        ADD_FAILURE() << "the engine did not settle";
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
        const std::vector<std::string> all = Server()->Commands();
        for (size_t i = CommandsBefore; i < all.size(); ++i)
            for (const std::string& w : words)
                if (all[i] == w || all[i].rfind(w + " ", 0) == 0) out.push_back(all[i]);
        return out;
    }

    int Row(const std::string& caption) const {
        for (int i = 0; i < FrmFTP->ListView1->Count(); ++i)
            if (FrmFTP->ListView1->Caption(i) == caption) return i;
        ADD_FAILURE() << "no row " << caption;
        return -1;
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
        const std::vector<std::string> items = FrmFTP->ListInfo->Items();
        return static_cast<int>(std::count(items.begin(), items.end(), line));
    }
    bool Logged(const std::string& line) const { return LogCount(line) > 0; }

    std::string Local;
    size_t CommandsBefore = 0;
};
