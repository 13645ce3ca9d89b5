// The fixture of the transfer window's tests: a work folder of its own, the
// settings file placed or read by hand, the window started and restarted, and
// a visit that shows it modally as the site manager's Connect does.
#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <QListWidget>
#include <QTest>

#include "GuiFixture.h"
#include "TestFiles.h"
#include "transfer/Unit1.h"

class TransferTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        Work = TempDir + "/work";
        std::filesystem::create_directories(Work);
    }

    std::string IniPath() const { return AppFolder() + "/TarnFtp.ini"; }

    static std::string Read(const std::string& path) { return ReadLocal(path); }
    static void Write(const std::string& path, const std::string& text) { WriteLocal(path, text); }
    // Puts a hand-written settings file in place before the window starts.
    void PlaceIni(const std::string& text) {
        std::filesystem::create_directories(AppFolder());
        Write(IniPath(), text);
    }
    // The file the program creates on first start.
    std::string FreshIni() const {
        std::string text = "[Options]\n";
        for (int n = 1; n <= 750; ++n) text += "F" + std::to_string(n) + "=\n";
        text += "[History]\nLast Dir=" + AppFolder() + "\nLast DriveBox=" + AppFolder() + "\nLast DirBox=" +
                AppFolder() + "\n";
        return text;
    }
    // The value of key in the file as the program left it (exact spelling).
    std::string Value(const std::string& key) const {
        const std::string text = Read(IniPath());
        const size_t at = text.find("\n" + key + "=");
        if (at == std::string::npos) return "<missing>";
        const size_t start = at + key.size() + 2;
        return text.substr(start, text.find('\n', start) - start);
    }

    TFrmFTP* Start() {
        App->CreateForm(FrmFTP);
        return FrmFTP;
    }
    TFrmFTP* Restart() {
        App.reset();
        App = std::make_unique<TApplication>();
        App->SetTitle("Tarnwick FTP");
        return Start();
    }

    // Shows the window as the site manager's Connect does, runs `inside`
    // while it is shown, and returns once the modal showing has ended.
    void Visit(std::function<void()> inside) {
        bool seen = false;
        WhenModal([&] {
            seen = true;
            inside();
        });
        // Should Timer1 fire, its connect is refused at once: nothing listens
        // on port 1 of 127.0.0.1.
        FrmFTP->HandOver("user", "127.0.0.1:1", "pw");
        EXPECT_TRUE(seen);
        EXPECT_FALSE(FrmFTP->Visible());
    }

    std::vector<std::string> ErrorTexts() const {
        std::vector<std::string> texts;
        for (const TDialogRecord& r : Boxes->Records)
            if (r.Type == mtError) texts.push_back(r.Text);
        return texts;
    }

    std::string Work;

    // Starts the window on a settings file that shows folder in the explorer
    // view, and shows it (not modally) so that its lists can be clicked.
    TFrmFTP* StartIn(const std::string& folder) {
        PlaceIni("[Options]\n[History]\nLast DirBox=" + folder + "\n");
        Start();
        FrmFTP->Show();
        return FrmFTP;
    }

    // A user's click (or double click) on an item of a list box.
    static void ClickItem(TListBox* box, int index, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        auto* list = static_cast<QListWidget*>(box->Widget());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, list->visualItemRect(list->item(index)).center());
    }
    // A real double click starts with a click, which moves the caret.
    static void DoubleClickItem(TListBox* box, int index) {
        ClickItem(box, index);
        auto* list = static_cast<QListWidget*>(box->Widget());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                           list->visualItemRect(list->item(index)).center());
    }

    // The texts of the message boxes shown so far, in order.
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const TDialogRecord& r : Boxes->Records) texts.push_back(r.Text);
        return texts;
    }
};
