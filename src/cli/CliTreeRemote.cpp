#include "cli/CliTreeRemote.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <utility>

#include "cli/LocalFiles.h"
#include "platform/Messages.h"

namespace {

// How long the wait for a lane sleeps before it looks at the deadlines.
constexpr int kLaneWaitSliceMs = 250;

}  // namespace

TCliTreeRemote::TCliTreeRemote(TCliSession& Session)
    : TEngineTreeRemote(Session.Engine()), S(Session), FLastFailed(&Session) {}

TCliTreeRemote::~TCliTreeRemote() {
    for (const auto& lane : FLanes) lane->Close();
}

int TCliTreeRemote::Lanes() {
    if (!FLanesOpened) {
        FLanesOpened = true;
        const int wanted = S.Options().Parallel;
        OpenLanes(wanted - 1);
        if (static_cast<int>(FLanes.size()) + 1 < wanted)
            S.Notice("mirror: going on with " + std::to_string(FLanes.size() + 1) + " of " +
                     std::to_string(wanted) + " sessions");
    }
    return static_cast<int>(FLanes.size()) + 1;
}

void TCliTreeRemote::OpenLanes(int Count) {
    // Logged in side by side: each login costs the server a process and a
    // password check.
    std::vector<std::unique_ptr<TCliSession>> opening;
    std::vector<char> loggedIn(static_cast<std::size_t>(std::max(Count, 0)), 0);
    int waiting = 0;
    for (int i = 0; i < Count; ++i) {
        auto lane = std::make_unique<TCliSession>(S.Options(), S.Credentials());
        lane->Engine().UserName = S.Credentials().User;
        lane->Engine().PassWord = S.Credentials().Password;
        const auto done = [&waiting, &loggedIn, i](bool Ok) {
            loggedIn[static_cast<std::size_t>(i)] = Ok;
            --waiting;
        };
        if (lane->Start(&TCustomFtpCli::ConnectAsync, TExitStatus::Connect, done)) ++waiting;
        opening.push_back(std::move(lane));
    }
    std::vector<TCliSession*> sessions;
    for (const auto& lane : opening) sessions.push_back(lane.get());
    PumpUntil([&waiting] { return waiting == 0; }, sessions);
    for (int i = 0; i < Count; ++i) {
        TCliSession& lane = *opening[static_cast<std::size_t>(i)];
        TCliFtpClient& engine = lane.Engine();
        bool ok = loggedIn[static_cast<std::size_t>(i)] != 0;
        if (ok && !S.Options().StartDir.empty()) {
            engine.HostDirName = S.Options().StartDir;
            ok = lane.Call(&TCustomFtpCli::CwdAsync, TExitStatus::Refused);
        }
        engine.SetBinary(!S.Options().Ascii);
        ok = ok && lane.Call(&TCustomFtpCli::TypeSetAsync, TExitStatus::Refused);
        if (!ok) {
            S.Notice("mirror: another session: " + lane.LastReason());
            continue;
        }
        FLanes.push_back(std::move(opening[static_cast<std::size_t>(i)]));
    }
}

void TCliTreeRemote::PumpUntil(const std::function<bool()>& Done, const std::vector<TCliSession*>& Sessions) {
    for (;;) {
        platform::AppProcessMessages();
        if (Done()) return;
        bool waiting = false;
        for (TCliSession* session : Sessions) {
            if (!session->Busy()) continue;
            waiting = true;
            session->CheckStarted();
        }
        if (!waiting) return;
        platform::AppWaitForEvents(kLaneWaitSliceMs);
    }
}

bool TCliTreeRemote::Call(TCliFtpClient::TRequestMethod Method) {
    FLocalError.clear();
    FLastFailed = &S;
    return S.Call(Method, TExitStatus::Refused);
}

bool TCliTreeRemote::Moving(TCliFtpClient::TRequestMethod Method) {
    S.OnTransferProgress = OnFilePosition;
    const bool ok = Call(Method);
    S.OnTransferProgress = nullptr;
    return ok;
}

bool TCliTreeRemote::List(const std::string& Folder, std::string& Text) {
    TTempFile listing("", "tarnftp-list");
    if (!listing.Ok()) {
        FLocalError = listing.Error();
        return false;
    }
    E.HostFileName = Folder;
    E.LocalFileName = listing.Path();
    E.DisplayFileFlag = false;
    if (!Call(&TCustomFtpCli::DirAsync)) return false;
    std::ifstream in(listing.Path(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    Text = text.str();
    return true;
}

bool TCliTreeRemote::Usable() {
    if (!S.Usable()) return false;
    for (const auto& lane : FLanes)
        if (!lane->Usable()) return false;
    return true;
}

std::string TCliTreeRemote::LastError() {
    return FLocalError.empty() ? FLastFailed->LastReason() : FLocalError;
}

void TCliTreeRemote::StartFile(int Index, TTreeFileJob Job) {
    TCliSession& lane = Lane(Index);
    TCliFtpClient& engine = lane.Engine();
    engine.HostFileName = Job.Remote;
    engine.LocalFileName = Job.LocalPath;
    engine.DisplayFileFlag = false;
    TCliFtpClient::TRequestMethod method;
    if (Job.Upload) {
        engine.ResumeAt = Job.ResumeAt;
        method = Job.ResumeAt > 0 ? &TCustomFtpCli::RestPutAsync : &TCustomFtpCli::PutAsync;
    } else {
        // RestGet resumes from the local file's end.
        engine.ResumeAt = 0;
        method = Job.ResumeAt > 0 ? &TCustomFtpCli::RestGetAsync : &TCustomFtpCli::GetAsync;
    }
    lane.OnTransferProgress = std::move(Job.OnPosition);
    auto ended = [this, &lane, done = std::move(Job.OnDone)](bool Ok) {
        lane.OnTransferProgress = nullptr;
        ++FFilesEnded;
        FLocalError.clear();
        FLastFailed = &lane;
        done(Ok, Ok ? std::string() : lane.LastReason());
    };
    if (!lane.Start(method, TExitStatus::Refused, ended)) ended(false);
}

void TCliTreeRemote::WaitForFiles() {
    std::vector<TCliSession*> lanes;
    lanes.push_back(&S);
    for (const auto& lane : FLanes) lanes.push_back(lane.get());
    const int before = FFilesEnded;
    PumpUntil([this, before] { return FFilesEnded != before; }, lanes);
}

void TCliTreeRemote::StopFiles() {
    if (S.Busy()) S.Engine().CancelAsync();
    for (const auto& lane : FLanes)
        if (lane->Busy()) lane->Engine().CancelAsync();
}
