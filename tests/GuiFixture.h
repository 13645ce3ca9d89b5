// The fixture of the GUI tests: a QApplication (offscreen unless the
// environment asks for another platform), a fresh TApplication per test with
// scripted dialogs, a recording shell, its own XDG_CONFIG_HOME, and the
// working folder restored afterwards.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "platform/Shell.h"
#include "toolkit/Application.h"
#include "toolkit/Control.h"
#include "toolkit/ScriptedDialogs.h"

class GuiTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (QApplication::instance() != nullptr) return;
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "gui-test";
        static char* argv[] = {name, nullptr};
        // Lives until the process ends, as a program's would.
        static QApplication* qt = new QApplication(argc, argv);
        (void)qt;
    }

    void SetUp() override {
        char buf[4096];
        ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
        SavedCwd = buf;
        char tmpl[] = "/tmp/tarn-gui-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        TempDir = tmpl;
        setenv("XDG_CONFIG_HOME", TempDir.c_str(), 1);
        App = std::make_unique<TApplication>();
        App->SetTitle("Tarnwick FTP");
        auto dialogs = std::make_unique<TScriptedDialogs>();
        Boxes = dialogs.get();
        SetDialogs(std::move(dialogs));
        platform::SetShellRunner([this](const platform::ShellRequest& r) {
            ShellRequests.push_back(r);
            return ShellResult;
        });
    }

    void TearDown() override {
        App.reset();
        SetDialogs(nullptr);
        platform::SetShellRunner({});
        ASSERT_EQ(chdir(SavedCwd.c_str()), 0);
        std::error_code ec;
        std::filesystem::remove_all(TempDir, ec);
    }

    std::string AppFolder() const { return TempDir + "/tarnwick-ftp"; }

    // A user's click on a control.
    static void ClickOn(TControl* control) { QTest::mouseClick(control->Widget(), Qt::LeftButton); }

    // Types text into a widget one character at a time, as key events.
    static void TypeText(QWidget* widget, const QString& text) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const qsizetype n = text.at(i).isHighSurrogate() ? 2 : 1;
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text.mid(i, n));
            QApplication::sendEvent(widget, &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text.mid(i, n));
            QApplication::sendEvent(widget, &release);
            i += n - 1;
        }
    }

    // Runs `body` from Qt's loop once the next modal loop is running, e.g. to
    // look at and close a modal window. Bounded: fails the test when no modal
    // loop shows up within five seconds.
    static void WhenModal(std::function<void()> body) {
        auto* timer = new QTimer;
        auto* clock = new QElapsedTimer;
        clock->start();
        QObject::connect(timer, &QTimer::timeout, [timer, clock, body = std::move(body)] {
            if (QApplication::activeModalWidget() == nullptr && clock->elapsed() < 5000) return;
            timer->stop();
            timer->deleteLater();
            const bool found = QApplication::activeModalWidget() != nullptr;
            delete clock;
            EXPECT_TRUE(found) << "no modal window appeared";
            if (found) body();
        });
        timer->start(10);
    }

    std::unique_ptr<TApplication> App;
    TScriptedDialogs* Boxes = nullptr;
    std::vector<platform::ShellRequest> ShellRequests;
    std::intptr_t ShellResult = platform::SHELL_OK;
    std::string TempDir;

private:
    std::string SavedCwd;
};
