// TCliTreeRemote: tarnftp's sessions as the remote side of a folder
// transfer.
//
// Contract: lane 0 is the run's own session; when the files start to move
// (after the walks and the folders, so that no session sits idle long
// enough for the server to drop it), --parallel N adds N-1 sessions of the
// same options and credentials, each with its own engine on the one message
// loop (no threads), so that several files move at once. Listings, folders
// and removals run on lane 0; files on any lane. A dropped or interrupted
// session makes the whole side unusable, which ends the run. Main thread
// only.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliSession.h"
#include "tree/EngineTreeRemote.h"

class TCliTreeRemote : public TEngineTreeRemote {
public:
    explicit TCliTreeRemote(TCliSession& Session);
    ~TCliTreeRemote() override;

    // Kind of the failure last reported by LastError.
    TExitStatus LastKind() const { return FLastFailed->LastKind(); }

    bool List(const std::string& Folder, std::string& Text) override;
    bool Usable() override;
    std::string LastError() override;

    int Lanes() override;
    void StartFile(int Lane, TTreeFileJob Job) override;
    void WaitForFiles() override;
    void StopFiles() override;

private:
    // Opens up to Count more sessions (each logged in, in the start folder,
    // with the run's transfer type) side by side.
    void OpenLanes(int Count);
    TCliSession& Lane(int Index) { return Index == 0 ? S : *FLanes[static_cast<std::size_t>(Index - 1)]; }
    bool Call(TCliFtpClient::TRequestMethod Method) override;
    bool Moving(TCliFtpClient::TRequestMethod Method) override;
    // Pumps the message loop until Done, or until none of Sessions waits
    // for a started request any more (those past the time-out cancelled).
    void PumpUntil(const std::function<bool()>& Done, const std::vector<TCliSession*>& Sessions);

    TCliSession& S;
    std::vector<std::unique_ptr<TCliSession>> FLanes;
    TCliSession* FLastFailed;
    std::string FLocalError;
    int FFilesEnded = 0;
    bool FLanesOpened = false;
};
