#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>

#include "GuiFixture.h"
#include "platform/Messages.h"
#include "platform/WinSock.h"
#include "toolkit/Dialogs.h"
#include "toolkit/QtDialogs.h"
#include "toolkit/Timer.h"

namespace {

using namespace winsock;
constexpr platform::UINT kSocketMsg = platform::WM_USER + 7;

class LoopTest : public GuiTest {};

// Socket events keep flowing while a real (Qt) message box is open.
TEST_F(LoopTest, SocketEventsAreDispatchedUnderAMessageBox) {
    SetDialogs(std::make_unique<TQtDialogs>());
    Boxes = nullptr;
    int accepts = 0;
    const platform::HWND hwnd = platform::CreateHiddenWindow(
        [&](platform::HWND, platform::UINT m, platform::WPARAM, platform::LPARAM l) {
            if (m == kSocketMsg && WSAGETSELECTEVENT(l) == FD_ACCEPT) ++accepts;
            return platform::LRESULT(0);
        });
    WSAData data{};
    ASSERT_EQ(WSAStartup(0x0101, &data), 0);
    const SOCKET listener = winsock::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = inet_addr("127.0.0.1");
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&sin), sizeof sin), 0);
    int len = sizeof sin;
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&sin), &len), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    ASSERT_EQ(WSAAsyncSelect(listener, hwnd, kSocketMsg, FD_ACCEPT), 0);
    const SOCKET client = winsock::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(WSAAsyncSelect(client, hwnd, kSocketMsg + 1, FD_CONNECT), 0);

    int acceptsWhileOpen = -1;
    QElapsedTimer clock;
    WhenModal([&] {
        connect(client, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
        clock.start();
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, [&, poll] {
            if (accepts == 0 && clock.elapsed() < 5000) return;
            poll->stop();
            poll->deleteLater();
            acceptsWhileOpen = accepts;
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
        });
        poll->start(10);
    });
    ShowMessage("Waiting for a connection");
    EXPECT_EQ(acceptsWhileOpen, 1);

    closesocket(client);
    closesocket(listener);
    platform::DestroyWindow(hwnd);
    WSACleanup();
}

// The waiting pump sleeps in Qt's loop and wakes for a message posted from
// another thread; the platform's AppWaitForEvents goes through it.
TEST_F(LoopTest, WaitingPumpWakesForAPostedMessage) {
    std::atomic<int> handled = 0;
    const platform::HWND hwnd = platform::CreateHiddenWindow(
        [&](platform::HWND, platform::UINT m, platform::WPARAM, platform::LPARAM) {
            if (m == platform::WM_USER) ++handled;
            return platform::LRESULT(0);
        });
    std::thread poster([hwnd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        platform::PostMessage(hwnd, platform::WM_USER, 0, 0);
    });
    const std::uint64_t before = platform::GetLoopCounters().wakeups;
    QElapsedTimer clock;
    clock.start();
    while (handled == 0 && clock.elapsed() < 5000) platform::AppWaitForEvents(5000);
    poster.join();
    EXPECT_EQ(handled, 1);
    // Woken by the message (through Qt's loop), not by spinning.
    EXPECT_LT(platform::GetLoopCounters().wakeups - before, 100u);
    App->ProcessMessages();
    platform::DestroyWindow(hwnd);
}

// Pumps until a zero-interval Qt timer has fired three times (at most 5 s);
// returns how often it fired.
int QtTurnsWhilePumping(const std::function<void()>& pump) {
    int qtTurns = 0;
    QTimer qtTimer;
    QObject::connect(&qtTimer, &QTimer::timeout, [&] { ++qtTurns; });
    qtTimer.start(0);
    QElapsedTimer clock;
    clock.start();
    while (qtTurns < 3 && clock.elapsed() < 5000) pump();
    return qtTurns;
}

// Platform work that never lets up still leaves Qt its turns (its timers
// fire, the window repaints): a pump loop fed by an endless chain of platform
// messages (a transfer's blocks), whose messages all run in order, and a
// synchronous request's wait woken by platform events again and again (a
// folder of small files), which waits for them outside Qt's loop within a
// frame.
TEST_F(LoopTest, PlatformWorkThatNeverLetsUpStillGivesQtItsTurns) {
    int next = 0;
    bool inOrder = true;
    platform::HWND hwnd = 0;
    hwnd = platform::CreateHiddenWindow([&](platform::HWND, platform::UINT m, platform::WPARAM w, platform::LPARAM) {
        if (m != platform::WM_USER) return platform::LRESULT(0);
        inOrder = inOrder && static_cast<int>(w) == next;
        ++next;
        platform::PostMessage(hwnd, platform::WM_USER, static_cast<platform::WPARAM>(next), 0);
        return platform::LRESULT(0);
    });
    platform::PostMessage(hwnd, platform::WM_USER, 0, 0);
    EXPECT_EQ(QtTurnsWhilePumping([this] {
                  App->ProcessMessages();
                  ASSERT_GT(platform::PendingMessageCount(), 0u);
              }),
              3);
    EXPECT_GT(next, 3);
    EXPECT_TRUE(inOrder);
    platform::DestroyWindow(hwnd);
    App->ProcessMessages();

    std::atomic<int> handled = 0;
    std::atomic<bool> stop = false;
    hwnd = platform::CreateHiddenWindow([&](platform::HWND, platform::UINT m, platform::WPARAM, platform::LPARAM) {
        if (m == platform::WM_USER) ++handled;
        return platform::LRESULT(0);
    });
    std::thread poster([&] {
        for (int i = 0; i < 5000 && !stop; ++i) {
            platform::PostMessage(hwnd, platform::WM_USER, 0, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    EXPECT_EQ(QtTurnsWhilePumping([] {
                  platform::AppProcessMessages();
                  platform::AppWaitForEvents(100);
              }),
              3);
    stop = true;
    poster.join();
    EXPECT_GT(handled, 0);
    App->ProcessMessages();
    platform::DestroyWindow(hwnd);
}

TEST_F(LoopTest, TimerDisabledByItsHandlerFiresOnce) {
    TTimer timer(App.get());
    timer.SetEnabled(false);
    timer.SetInterval(20);
    int fired = 0;
    timer.OnTimer = [&](TObject*) {
        timer.SetEnabled(false);
        ++fired;
    };
    timer.SetEnabled(true);
    QElapsedTimer clock;
    clock.start();
    while (fired == 0 && clock.elapsed() < 5000) App->WaitForEvents(100);
    QTest::qWait(100);
    EXPECT_EQ(fired, 1);
}

}  // namespace
