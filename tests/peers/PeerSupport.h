// Building blocks the peer fixtures share: free ports, bounded waits, a run
// folder, child processes stopped by PID, and throwaway system users.
//
// Everything here is plain POSIX, runs on the calling thread and blocks at
// most for the time it is given. The fixtures run as root (they create users
// and start daemons that drop privileges themselves).
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace peers {

using Millis = std::chrono::milliseconds;

// A TCP port on 127.0.0.1 that was free a moment ago (bound with port 0 and
// read back; the kernel picks it from the ephemeral range).
int FreePort();

// First port of `count` consecutive ports on 127.0.0.1 that were all free a
// moment ago; picked below the ephemeral range so it rarely meets FreePort().
// Returns 0 if none was found.
int FreePortRange(int count);

// Connects to 127.0.0.1:port (::1 with ipv6) in a short retry loop until it
// succeeds or `timeout` passes.
bool WaitForPort(int port, Millis timeout, bool ipv6 = false);

// True if the program exists and is executable.
bool ProgramExists(const std::string& path);

std::string ReadTextFile(const std::string& path);
// Writes the whole file (created or truncated) with the given mode.
bool WriteTextFile(const std::string& path, const std::string& text, unsigned mode = 0644);

// Runs argv[0] (absolute path, no shell) with `input` on its standard input
// and collects standard output and error. Kills it when `timeout` passes.
struct CommandResult {
    int ExitCode = -1;  // -1: did not start, timed out or died from a signal
    std::string Output;
};
CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input = {},
                         Millis timeout = Millis(20000));

// A folder made by mkdtemp under /tmp, opened up to 0755 so servers running
// as another user can reach homes inside it; removed with its content by the
// destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + "/" + name.
    std::string File(const std::string& name) const;
    // Creates a sub-folder (mode 0755) and returns its path.
    std::string MakeDir(const std::string& name) const;

private:
    std::string path_;
};

// A system user with a unique name (tarnt + random hex), a password, and a
// home folder the caller chooses; removed again with `userdel -r` by the
// destructor, after any process still running as that user is killed by PID.
// Two test processes running at once get different names.
class ThrowawayUser {
public:
    ThrowawayUser() = default;
    ~ThrowawayUser();
    ThrowawayUser(const ThrowawayUser&) = delete;
    ThrowawayUser& operator=(const ThrowawayUser&) = delete;

    // Creates the user with home `home` (made, owned by the user, 0755).
    bool Create(const std::string& home);
    void Remove();

    bool Exists() const { return created_; }
    const std::string& Name() const { return name_; }
    const std::string& Password() const { return password_; }
    const std::string& Home() const { return home_; }
    int Uid() const { return uid_; }
    int Gid() const { return gid_; }
    const std::string& Error() const { return error_; }

private:
    std::string name_, password_, home_, error_;
    int uid_ = -1, gid_ = -1;
    bool created_ = false;
};

// A child process started with fork/exec from an argument vector (never a
// shell), in a process group of its own, with standard output and error
// going to a log file. Stopped by PID: SIGTERM to its group, a bounded wait,
// then SIGKILL, then reaped. The destructor stops it.
class PeerProcess {
public:
    PeerProcess() = default;
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    // Optional: the user the child runs as (uid, gid and that user's groups).
    void SetUser(const std::string& user) { user_ = user; }
    // Optional: the child's working folder.
    void SetWorkDir(const std::string& dir) { workDir_ = dir; }
    // Optional: extra environment entries "NAME=value" added to the child's.
    void AddEnv(const std::string& entry) { env_.push_back(entry); }
    // Optional: the child's standard input is the log too, for daemons that
    // report start-up failures there (vsftpd writes them to fd 0, its control
    // connection when run from inetd). Otherwise it is /dev/null.
    void SetStdinToLog() { stdinToLog_ = true; }

    // argv[0] is an absolute path. Returns false (with Error()) if the
    // program is missing or the fork failed.
    bool Start(const std::vector<std::string>& argv, const std::string& logPath);
    // True while the child has not exited (reaps it if it has).
    bool Running();
    void Stop(Millis grace = Millis(3000));

    int Pid() const { return pid_; }
    const std::string& LogPath() const { return logPath_; }
    std::string Log() const { return ReadTextFile(logPath_); }
    const std::string& Error() const { return error_; }

private:
    std::string user_, workDir_, logPath_, error_;
    std::vector<std::string> env_;
    bool stdinToLog_ = false;
    int pid_ = -1;
};

// Waits like WaitForPort() for the child's listener, but gives up as soon as
// the child has exited (a port taken since it was picked, a bad setting).
enum class Listening { Yes, Exited, TimedOut };
Listening WaitForListener(PeerProcess& process, int port, Millis timeout, bool ipv6 = false);

}  // namespace peers
