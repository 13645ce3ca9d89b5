// TCliSession: one tarnftp run's session on the FTP engine, or on the SFTP
// engine for an sftp:// URL (TFtpClient's synchronous calls either way; no
// windowing toolkit).
//
// Contract:
//  - Open, login and every command are separate synchronous calls, so each
//    failure is known by the step it happened in, never by a server's text:
//    the open gives Connect, USER and PASS give Login, a command Refused;
//    the engine's TimedOut flag gives Timeout, its LocalFileFailed flag
//    LocalFile, and a Ctrl-C Interrupted.
//  - Each failure is reported as one line on standard error, "tarnftp: WHAT:
//    REASON", REASON being the server's reply or the engine's message. The
//    first failure's kind is the run's exit status.
//  - Start runs a request without waiting (several sessions of one run move
//    files at once on the one message loop); its end is recorded as Call's,
//    a Ctrl-C or a time-out without progress (CheckDeadline) cancelling it.
//  - Main thread only; the engine pumps the platform message loop while a
//    call waits.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/Credentials.h"
#include "cli/ExitStatus.h"
#include "ftp/FtpCli.h"

// Either engine; requests without a synchronous call of their own (SIZE,
// SYST, NLST, ...) run through RunSync.
using TCliFtpClient = TFtpClient;

class TCliSession {
public:
    TCliSession(const TCliOptions& Options, TCredentials Credentials);

    TCliFtpClient& Engine() { return *FEngine; }
    const TCliOptions& Options() const { return FOptions; }
    const TCredentials& Credentials() const { return FCredentials; }

    // Resolves, connects, logs in and changes to the start folder.
    bool Open();
    // Ends the session politely when it is still up.
    void Close();

    // Runs one request synchronously; on failure records the failure's kind
    // (Kind unless a time-out, local file failure or Ctrl-C explains it).
    bool Call(TCliFtpClient::TRequestMethod Method, TExitStatus Kind);
    // Starts a request and returns; Done(ok) runs from the message loop once
    // it ended, a failure recorded as by Call. False when it was refused at
    // once (recorded; Done never runs).
    bool Start(TCliFtpClient::TRequestMethod Method, TExitStatus Kind, std::function<void(bool)> Done);
    // A started request still waiting.
    bool Busy() const { return static_cast<bool>(FPending); }
    // Cancels a started request that has seen no progress for the time-out,
    // or any started request after a Ctrl-C; its Done follows.
    void CheckStarted();
    // Reports the last recorded failure as "tarnftp: What: reason".
    void ReportFailure(const std::string& What);
    // Reports a failure found by tarnftp itself.
    void Report(TExitStatus Kind, const std::string& What, const std::string& Reason);
    // Kind of the last failed Call (Success when none failed yet).
    TExitStatus LastKind() const { return FLastKind; }
    // Why the last failed Call failed.
    const std::string& LastReason() const { return FLastReason; }
    // Kind of the first failure reported: the exit status of the run.
    TExitStatus Result() const { return FResult; }
    // The session can take another command (not dropped, not interrupted).
    bool Usable();

    // A notice for the user on standard error (nothing with --quiet).
    void Notice(const std::string& Text);
    // Lines of every reply while set (for quote).
    std::function<void(const std::string&)> OnReplyLine;
    // Transfer progress while set (position in the whole file).
    std::function<void(std::int64_t)> OnTransferProgress;

private:
    void Configure();
    // The outcome of a request that ended (Ok: as the engine said), its
    // failure classified and recorded.
    bool Conclude(bool Ok, TExitStatus Kind);

    const TCliOptions& FOptions;
    TCredentials FCredentials;
    std::unique_ptr<TCliFtpClient> FEngine;
    std::string FRefusal;
    std::string FLastReason;
    TExitStatus FLastKind = TExitStatus::Success;
    TExitStatus FResult = TExitStatus::Success;
    // The request of Start while it runs.
    std::function<void(bool)> FPending;
    TExitStatus FPendingKind = TExitStatus::Refused;
    std::uint64_t FLastActivity = 0;   // its start or last progress, in ms
    bool FExpired = false;             // cancelled for lack of progress
};
