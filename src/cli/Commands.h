// TCommandRunner: the commands of tarnftp, run on an open session. Each
// failure is reported through the session (one line on standard error) and
// the commands that take several names go on with the rest while the
// session stays usable.
#pragma once

#include <cstdint>
#include <string>

#include "cli/CliSession.h"

class TCommandRunner {
public:
    explicit TCommandRunner(TCliSession& Session);

    // Runs the command named in the session's options.
    void Run();

private:
    // Remote operations (RemoteCommands.cpp).
    void MakeFolder(const std::string& Name);
    void RemoveFolder(const std::string& Name);
    void Rename(const std::string& From, const std::string& To);
    void Delete(const std::string& Name);
    void PrintWorkingFolder();
    void PrintSize(const std::string& Name);
    void PrintSystem();
    void Quote(const std::string& Command);

    // Listings (Listings.cpp).
    void List(const std::string& Folder, bool NamesOnly);

    // Transfers (Transfers.cpp).
    void Get(const std::string& Remote, const std::string& Local);
    void Put(const std::string& Local, const std::string& Remote, bool Append);
    void MultiGet();
    void MultiPut();
    // Receives Remote into LocalPath (from the local file's end when Resume).
    bool Download(const std::string& Remote, const std::string& LocalPath, bool Resume);
    // Sends TYPE once per session, before the first transfer.
    bool EnsureType(const std::string& What);
    // SIZE of a remote file; false when the server gives none.
    bool RemoteSize(const std::string& Name, std::int64_t& Size);
    bool ShowProgress() const;
    // A file of that name is there already: whether to go on (false: skip),
    // with Name changed for rename and Resume set for resume.
    bool ExistingFile(bool Local, std::string& Name, bool& Resume);

    // Folders (Mirror.cpp).
    void Mirror();

    // Standard output; a write failure is reported once at the end.
    void Print(const std::string& Text);
    void CopyOut(const std::string& Path, const std::string& What);

    TCliSession& S;
    TCliFtpClient& E;
    bool TypeSent = false;
};
