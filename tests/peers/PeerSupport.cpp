#include "peers/PeerSupport.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include "peers/LoopbackAddress.h"

extern char** environ;

namespace peers {

sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

namespace {

using Clock = std::chrono::steady_clock;

bool CanBind(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in a = Loopback(port);
    bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

std::string RandomHex(int digits) {
    std::random_device rd;
    std::string s;
    static const char* hex = "0123456789abcdef";
    for (int i = 0; i < digits; ++i) s += hex[rd() % 16];
    return s;
}

std::vector<char*> CStrings(std::vector<std::string>& v) {
    std::vector<char*> out;
    for (auto& s : v) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// Environment for a child: ours plus the extra entries.
std::vector<std::string> ChildEnv(const std::vector<std::string>& extra) {
    auto name = [](const std::string& entry) { return entry.substr(0, entry.find('=') + 1); };
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        std::string entry = *e;
        bool replaced = false;
        for (const auto& x : extra) replaced = replaced || name(x) == name(entry);
        if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

// Waits for `pid` to exit without reaping it; true if it did within `timeout`.
bool WaitExitNoReap(int pid, Millis timeout) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
            return true;  // not our child any more: nothing to wait for
        if (info.si_pid == pid) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(Millis(10));
    }
}

}  // namespace

int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

int FreePortRange(int count) {
    std::random_device rd;
    for (int attempt = 0; attempt < 200; ++attempt) {
        int base = 12000 + static_cast<int>(rd() % 18000);
        bool all = true;
        for (int p = base; p < base + count && all; ++p) all = CanBind(p);
        if (all) return base;
    }
    return 0;
}

bool WaitForPort(int port, Millis timeout, bool ipv6) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
        int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        sockaddr_in a = Loopback(port);
        sockaddr_in6 a6{};
        a6.sin6_family = AF_INET6;
        a6.sin6_port = htons(static_cast<std::uint16_t>(port));
        a6.sin6_addr = in6addr_loopback;
        bool ok = ipv6 ? connect(fd, reinterpret_cast<sockaddr*>(&a6), sizeof a6) == 0
                       : connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        close(fd);
        if (ok) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(Millis(20));
    }
}

bool ProgramExists(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

std::string ReadTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool WriteTextFile(const std::string& path, const std::string& text, unsigned mode) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    fchmod(fd, mode);
    close(fd);
    return done == text.size();
}

CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input,
                         Millis timeout) {
    CommandResult result;
    if (argv.empty() || !ProgramExists(argv[0])) {
        result.Output = "program not found: " + (argv.empty() ? std::string() : argv[0]);
        return result;
    }
    std::vector<std::string> args = argv;
    std::vector<char*> cargs = CStrings(args);
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return result;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return result;
    }
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(out[1], 2);
        execv(cargs[0], cargs.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    if (pid < 0) {
        close(in[1]);
        close(out[0]);
        return result;
    }
    // Inputs are a line or two: they fit in the pipe without reading first.
    if (!input.empty()) (void)!write(in[1], input.data(), input.size());
    close(in[1]);

    auto deadline = Clock::now() + timeout;
    bool timedOut = false;
    char buf[4096];
    for (;;) {
        auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now()).count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0) break;
        result.Output.append(buf, static_cast<size_t>(n));
    }
    close(out[0]);
    auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now());
    if (timedOut || !WaitExitNoReap(pid, std::max(left, Millis(100)))) {
        kill(pid, SIGKILL);
        timedOut = true;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!timedOut && WIFEXITED(status)) result.ExitCode = WEXITSTATUS(status);
    return result;
}

// --- TempDir

TempDir::TempDir() {
    char tmpl[] = "/tmp/tarn-peers-XXXXXX";
    if (mkdtemp(tmpl)) {
        path_ = tmpl;
        chmod(path_.c_str(), 0755);
    }
}

TempDir::~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const { return path_ + "/" + name; }

std::string TempDir::MakeDir(const std::string& name) const {
    std::string p = File(name);
    mkdir(p.c_str(), 0755);
    chmod(p.c_str(), 0755);
    return p;
}

// --- ThrowawayUser

ThrowawayUser::~ThrowawayUser() { Remove(); }

bool ThrowawayUser::Create(const std::string& home) {
    for (const char* tool : {"/usr/sbin/useradd", "/usr/sbin/userdel", "/usr/sbin/chpasswd"}) {
        if (!ProgramExists(tool)) {
            error_ = std::string("program not found: ") + tool + " (package passwd)";
            return false;
        }
    }
    home_ = home;
    password_ = "pw" + RandomHex(12);
    // useradd fails while another process holds the lock on /etc/passwd:
    // retry for a while, with a fresh name each time in case of a clash.
    CommandResult r;
    for (int attempt = 0; attempt < 40; ++attempt) {
        name_ = "tarnt" + RandomHex(8);
        r = RunCommand({"/usr/sbin/useradd", "-M", "-d", home_, "-s", "/bin/sh", "-U", name_});
        if (r.ExitCode == 0) break;
        std::this_thread::sleep_for(Millis(50 + attempt * 10));
    }
    if (r.ExitCode != 0) {
        error_ = "useradd failed: " + r.Output;
        return false;
    }
    created_ = true;
    passwd* pw = getpwnam(name_.c_str());
    if (!pw) {
        error_ = "user " + name_ + " not found after useradd";
        return false;
    }
    uid_ = static_cast<int>(pw->pw_uid);
    gid_ = static_cast<int>(pw->pw_gid);
    mkdir(home_.c_str(), 0755);
    if (chown(home_.c_str(), static_cast<uid_t>(uid_), static_cast<gid_t>(gid_)) != 0) {
        error_ = "cannot give " + home_ + " to " + name_;
        return false;
    }
    chmod(home_.c_str(), 0755);
    for (int attempt = 0; attempt < 40; ++attempt) {
        r = RunCommand({"/usr/sbin/chpasswd"}, name_ + ":" + password_ + "\n");
        if (r.ExitCode == 0) return true;
        std::this_thread::sleep_for(Millis(50 + attempt * 10));
    }
    error_ = "chpasswd failed: " + r.Output;
    return false;
}

void ThrowawayUser::Remove() {
    if (!created_) return;
    created_ = false;
    // A daemon's session process may still run as the user; userdel refuses
    // then. These processes belong to this unique user, so kill them by PID.
    if (uid_ > 0) {
        for (int round = 0; round < 20; ++round) {
            std::vector<int> pids;
            if (DIR* d = opendir("/proc")) {
                while (dirent* e = readdir(d)) {
                    int pid = atoi(e->d_name);
                    if (pid <= 0) continue;
                    struct stat st{};
                    std::string p = std::string("/proc/") + e->d_name;
                    if (stat(p.c_str(), &st) == 0 && static_cast<int>(st.st_uid) == uid_)
                        pids.push_back(pid);
                }
                closedir(d);
            }
            if (pids.empty()) break;
            for (int pid : pids) kill(pid, SIGKILL);
            std::this_thread::sleep_for(Millis(50));
        }
    }
    for (int attempt = 0; attempt < 40; ++attempt) {
        RunCommand({"/usr/sbin/userdel", "-r", "-f", name_});
        if (!getpwnam(name_.c_str())) break;
        std::this_thread::sleep_for(Millis(50 + attempt * 10));
    }
}

// --- PeerProcess

PeerProcess::~PeerProcess() { Stop(); }

bool PeerProcess::Start(const std::vector<std::string>& argv, const std::string& logPath) {
    if (pid_ > 0) {
        error_ = "already running";
        return false;
    }
    if (argv.empty() || !ProgramExists(argv[0])) {
        error_ = "program not found: " + (argv.empty() ? std::string("(none)") : argv[0]);
        return false;
    }
    logPath_ = logPath;
    // Everything the child needs is prepared here: between fork and exec it
    // only makes async-signal-safe calls.
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
    if (!user_.empty()) {
        passwd* pw = getpwnam(user_.c_str());
        if (!pw) {
            error_ = "no such user: " + user_;
            return false;
        }
        uid = pw->pw_uid;
        gid = pw->pw_gid;
        int n = 64;
        groups.resize(static_cast<size_t>(n));
        if (getgrouplist(user_.c_str(), gid, groups.data(), &n) < 0) {
            groups.resize(static_cast<size_t>(n));
            getgrouplist(user_.c_str(), gid, groups.data(), &n);
        }
        groups.resize(static_cast<size_t>(n));
    }
    int logFd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (logFd < 0) {
        error_ = "cannot open log " + logPath + ": " + strerror(errno);
        return false;
    }
    std::vector<std::string> args = argv;
    std::vector<char*> cargs = CStrings(args);
    std::vector<std::string> env = ChildEnv(env_);
    std::vector<char*> cenv = CStrings(env);
    const bool switchUser = !user_.empty();
    const bool stdinToLog = stdinToLog_;
    const std::string dir = workDir_;

    // Daemons fork helpers; when the daemon dies they become our children
    // instead of init's, so Stop() can reap them before it returns.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        int input = stdinToLog ? logFd : open("/dev/null", O_RDONLY);
        if (input >= 0) dup2(input, 0);
        dup2(logFd, 1);
        dup2(logFd, 2);
        close_range(3, ~0U, 0);
        if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
        if (switchUser) {
            if (setgroups(groups.size(), groups.data()) != 0 || setgid(gid) != 0 ||
                setuid(uid) != 0)
                _exit(126);
        }
        execve(cargs[0], cargs.data(), cenv.data());
        static const char msg[] = "exec failed\n";
        (void)!write(2, msg, sizeof msg - 1);
        _exit(127);
    }
    close(logFd);
    if (pid < 0) {
        error_ = std::string("fork failed: ") + strerror(errno);
        return false;
    }
    setpgid(pid, pid);  // also from here, so a Stop() right away finds the group
    pid_ = pid;
    return true;
}

Listening WaitForListener(PeerProcess& process, int port, Millis timeout, bool ipv6) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const bool answered = WaitForPort(port, Millis(100), ipv6);
        // Something else may answer on a port the child could not bind.
        if (!process.Running()) return Listening::Exited;
        if (answered) return Listening::Yes;
        if (Clock::now() >= deadline) return Listening::TimedOut;
    }
}

bool PeerProcess::Running() {
    if (pid_ <= 0) return false;
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return false;
    return info.si_pid != pid_;
}

void PeerProcess::Stop(Millis grace) {
    if (pid_ <= 0) return;
    kill(-pid_, SIGTERM);
    if (!WaitExitNoReap(pid_, grace)) kill(-pid_, SIGKILL);
    WaitExitNoReap(pid_, Millis(5000));
    // The leader is a zombie now, so its PID cannot be reused yet: sweep the
    // helpers it forked into its group, then reap it.
    kill(-pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    // Reap the helpers too (they are ours, see Start()), so no process of
    // the group is left when Stop() returns.
    auto deadline = std::chrono::steady_clock::now() + Millis(2000);
    while (kill(-pid_, 0) == 0 && std::chrono::steady_clock::now() < deadline) {
        if (waitpid(-pid_, &status, WNOHANG) <= 0) std::this_thread::sleep_for(Millis(5));
    }
    pid_ = -1;
}

}  // namespace peers
