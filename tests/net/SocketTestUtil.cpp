#include "SocketTestUtil.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "platform/Messages.h"

namespace nettest {

void InstallTestResolver() {
    winsock::seams::SetForwardResolver(
        [](const std::string& name, std::vector<winsock::u_long>& addrs, std::string& official) {
            if (name == "peer.test") {
                addrs = {winsock::htonl(0x7F000002), winsock::htonl(0x7F000003)};
            } else if (name == "localhost") {
                addrs = {winsock::htonl(0x7F000001)};
            } else {
                return winsock::WSAHOST_NOT_FOUND;
            }
            official = name;
            return 0;
        });
}

namespace {
struct ResolverEnvironment : ::testing::Environment {
    void SetUp() override { InstallTestResolver(); }
    void TearDown() override { winsock::seams::SetForwardResolver(nullptr); }
};
[[maybe_unused]] auto* const gResolverEnvironment =
    ::testing::AddGlobalTestEnvironment(new ResolverEnvironment);
}  // namespace

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    auto start = platform::GetTickCount64();
    for (;;) {
        platform::ProcessMessages();
        if (done()) return true;
        if (platform::GetTickCount64() - start > static_cast<std::uint64_t>(timeoutMs)) return false;
        platform::WaitMessage(20);
    }
}

void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

std::string StateName(TSocketState s) {
    static const char* names[] = {"wsInvalidState", "wsOpened",    "wsBound",     "wsConnecting",
                                  "wsConnected",    "wsAccepting", "wsListening", "wsClosed"};
    return names[s];
}

void EventLog::Attach(TCustomWSocket& s, bool withData) {
    s.OnChangeState = [this](TObject*, TSocketState, TSocketState n) {
        lines.push_back("state " + StateName(n));
    };
    s.OnSessionConnected = [this](TObject*, std::uint16_t e) {
        lines.push_back("connected " + std::to_string(e));
    };
    s.OnSessionClosed = [this](TObject*, std::uint16_t e) {
        lines.push_back("closed " + std::to_string(e));
    };
    s.OnDataSent = [this](TObject*, std::uint16_t e) { lines.push_back("sent " + std::to_string(e)); };
    if (withData)
        s.OnDataAvailable = [this, &s](TObject*, std::uint16_t e) {
            std::string text = s.ReceiveText();
            lines.push_back("data " + std::to_string(e) + " " + text);
        };
}

bool EventLog::Has(const std::string& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

int EventLog::Count(const std::string& line) const {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

std::string EventLog::Joined() const {
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ESocketException& e) {
        return e.what();
    }
    return "";
}

std::vector<int> ProbeSocket::BlockFill() const {
    std::vector<int> fill;
    for (const auto& b : SendQueue) fill.push_back(b->WritePos() - b->ReadPos());
    return fill;
}

}  // namespace nettest
