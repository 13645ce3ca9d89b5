// TTreeRemote: the server side of a folder transfer, as synchronous steps.
//
// Contract: each call except StartFile runs one request on an open,
// logged-in session and returns only when it ended (pumping the thread's
// message loop meanwhile); true when the server accepted it. On false, LastError() says why in one
// line. Usable() turns false once the session dropped or the user stopped
// the run; the transfer then ends without trying the rest. Paths are the
// server's, "/" separated, sent as given. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// One file for a lane to move.
struct TTreeFileJob {
    bool Upload = false;
    std::string Remote;
    std::string LocalPath;
    // Upload: the first byte sent; download: above 0, append to LocalPath.
    std::int64_t ResumeAt = 0;
    std::function<void(std::int64_t Position)> OnPosition;
    // Runs once when the file ended; Error is LastError's line on failure.
    std::function<void(bool Ok, const std::string& Error)> OnDone;
};

class TTreeRemote {
public:
    virtual ~TTreeRemote() = default;

    // The folder's listing (LIST) as the server sent it.
    virtual bool List(const std::string& Folder, std::string& Text) = 0;
    // Whether Folder can be entered (a listing alone cannot tell an empty
    // folder from a missing one on every server).
    virtual bool FolderExists(const std::string& Folder) = 0;
    virtual bool MakeFolder(const std::string& Folder) = 0;
    // Receives Remote into LocalPath; Resume appends from the local file's end.
    virtual bool Receive(const std::string& Remote, const std::string& LocalPath, bool Resume) = 0;
    // Sends LocalPath to Remote from byte ResumeAt on (0: the whole file).
    virtual bool Send(const std::string& LocalPath, const std::string& Remote,
                      std::int64_t ResumeAt) = 0;
    virtual bool DeleteFile(const std::string& Remote) = 0;
    virtual bool RemoveFolder(const std::string& Remote) = 0;
    virtual bool Usable() = 0;
    virtual std::string LastError() = 0;

    // Set by the transfer while a file moves: the position reached in it.
    std::function<void(std::int64_t)> OnFilePosition;

    // Files may move on several lanes (sessions) at once. The calls above
    // stay on the first lane's session and are only made while no file
    // moves. The defaults are one lane that moves each file through
    // Receive/Send before StartFile returns. Lanes is first asked when the
    // first file is about to move (the walks and the folders are done).
    virtual int Lanes() { return 1; }
    // Starts Job on Lane (0 .. Lanes()-1, idle). Job.OnDone runs once, from
    // WaitForFiles or from within this call.
    virtual void StartFile(int Lane, TTreeFileJob Job);
    // Pumps the message loop until at least one started file ended.
    virtual void WaitForFiles() {}
    // Asks every moving file to end soon (each still reports OnDone).
    virtual void StopFiles() {}
};
