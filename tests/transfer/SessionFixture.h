// The fixture of the transfer window's server tests: real FTP servers on
// 127.0.0.1, the window pointed at one of them, bounded waits, and views of
// the log, the remote list and the commands the server received.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QListWidget>
#include <QPoint>
#include <QTreeWidget>

#include "TransferFixture.h"
#include "peers/Peers.h"

class SessionTest : public TransferTest {
protected:
    // Pumps the application's loop until done() holds; false after timeoutMs.
    bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            App->ProcessMessages();
            App->WaitForEvents(20);
        }
        return true;
    }
    void PumpFor(int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        PumpUntil([&] { return std::chrono::steady_clock::now() > end; }, ms + 1000);
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
            App->WaitForEvents(5);
        }
        ADD_FAILURE() << "the engine did not settle";
    }

    // The site as the site manager hands it over, the server's port typed
    // after the host.
    void Target(const peers::FtpServerPeer& server, const std::string& password = "") {
        Host = "127.0.0.1:" + std::to_string(server.Port());
        FrmFTP->EdServer->SetText(Host);
        FrmFTP->EdUserID->SetText(server.User());
        FrmFTP->EdPassword->SetText(password.empty() ? server.Password() : password);
    }

    // Starts the window shown (not modally) and lets Timer1 connect to
    // server, as after a hand-over; waits until the session is open and the
    // first listing is shown.
    void ConnectTo(const peers::FtpServerPeer& server) {
        StartIn(Work);
        Target(server);
        FrmFTP->Timer1->SetEnabled(true);
        ASSERT_TRUE(PumpUntil([&] { return Connected(); })) << Joined(Log());
    }
    bool Connected() const {
        return FrmFTP->CmdConnect->Caption() == "Disconnect" && FrmFTP->ListView1->Enabled();
    }

    std::vector<std::string> Log() const { return FrmFTP->ListInfo->Items(); }
    bool Logged(const std::string& line) const {
        for (const std::string& l : Log())
            if (l == line) return true;
        return false;
    }
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (int i = 0; i < FrmFTP->ListView1->Count(); ++i) rows.push_back(FrmFTP->ListView1->Caption(i));
        return rows;
    }
    int RowOf(const std::string& caption) const {
        for (int i = 0; i < FrmFTP->ListView1->Count(); ++i)
            if (FrmFTP->ListView1->Caption(i) == caption) return i;
        return -1;
    }

    // A user's double click on a row of the remote list (a real one begins
    // with a click, which highlights and focuses the row).
    void DoubleClickRow(int row) {
        auto* tree = static_cast<QTreeWidget*>(FrmFTP->ListView1->Widget());
        const QPoint at = tree->visualItemRect(tree->topLevelItem(row)).center();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }

    // A user's binary download of the remote row of that caption: a click on
    // the row, Binary, DOWNLOAD.
    void DownloadRow(const std::string& caption) {
        auto* tree = static_cast<QTreeWidget*>(FrmFTP->ListView1->Widget());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                          tree->visualItemRect(tree->topLevelItem(RowOf(caption))).center());
        ClickOn(FrmFTP->RadBinary);
        ClickOn(FrmFTP->Image4);
    }

    // A user's upload of a file of the local folder on view: Explorer, a
    // click on the file, UPLOAD. False when the folder does not list it.
    bool UploadLocalFile(const std::string& name) {
        ClickOn(FrmFTP->RadExplorer);
        FrmFTP->FileListBox1->Update();
        for (int i = 0; i < FrmFTP->FileListBox1->Count(); ++i) {
            if (FrmFTP->FileListBox1->Strings(i) != name) continue;
            ClickItem(FrmFTP->FileListBox1, i);
            ClickOn(FrmFTP->Image5);
            return true;
        }
        return false;
    }

    // The commands received since the mark (by count).
    std::vector<std::string> CommandsSince(const peers::FtpServerPeer& server, size_t mark) const {
        const std::vector<std::string> all = server.Commands();
        return std::vector<std::string>(all.begin() + static_cast<long>(std::min(mark, all.size())), all.end());
    }

    // The host box's text that Target typed.
    std::string Host;

    // The commands, PORT and PASS without their arguments (the port varies, and
    // vsftpd's log hides the password).
    static std::vector<std::string> Words(const std::vector<std::string>& commands) {
        std::vector<std::string> words;
        for (const std::string& c : commands) {
            if (c.rfind("PORT ", 0) == 0) words.push_back("PORT");
            else if (c.rfind("PASS ", 0) == 0) words.push_back("PASS");
            else words.push_back(c);
        }
        return words;
    }

    static std::string Joined(const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& l : lines) text += l + "\n";
        return text;
    }

    // A click on the folder list's entry, as a user highlights a folder.
    void HighlightFolder(const std::string& name) {
        auto* list = static_cast<QListWidget*>(FrmFTP->DirectoryListBox1->Widget());
        for (int i = 0; i < FrmFTP->DirectoryListBox1->Count(); ++i)
            if (FrmFTP->DirectoryListBox1->Strings(i) == name) {
                QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                                  list->visualItemRect(list->item(i)).center());
                return;
            }
        ADD_FAILURE() << "no folder " << name;
    }
};
