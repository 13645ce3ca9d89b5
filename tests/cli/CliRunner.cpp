// Running tarnftp as a child process with separate pipes.
#include "cli/CliRunner.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace cli {

std::string TarnftpPath() { return TARNFTP_BINARY; }

namespace {

std::vector<char*> CStrings(std::vector<std::string>& Strings) {
    std::vector<char*> out;
    for (std::string& s : Strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace

CliRun InHome(const std::string& home, std::vector<std::string> Args) {
    CliRun r;
    r.Args = std::move(Args);
    r.Env = {"HOME=" + home, "TMPDIR=" + home};
    r.WorkDir = home;
    return r;
}

CliResult RunTarnftp(const CliRun& Run) {
    CliResult result;
    std::vector<std::string> argv = Run.Prefix;
    argv.push_back(TarnftpPath());
    argv.insert(argv.end(), Run.Args.begin(), Run.Args.end());
    std::vector<std::string> env = {"PATH=/usr/bin:/bin", "LANG=C"};
    // Sanitizer settings of the test run reach the binary under test.
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    env.insert(env.end(), Run.Env.begin(), Run.Env.end());
    std::vector<char*> cargv = CStrings(argv), cenv = CStrings(env);

    int in[2], out[2], err[2];
    int terminal = -1, terminalChild = -1;
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return result;
    if (Run.StderrTerminal || Run.StdinTerminal) {
        if (openpty(&terminal, &terminalChild, nullptr, nullptr, nullptr) != 0) return result;
        err[0] = terminal;
        err[1] = terminalChild;
    } else if (pipe2(err, O_CLOEXEC) != 0) {
        return result;
    }
    pid_t pid = fork();
    if (pid == 0) {
        dup2(Run.StdinTerminal ? terminalChild : in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        if (!Run.WorkDir.empty() && chdir(Run.WorkDir.c_str()) != 0) _exit(126);
        execve(cargv[0], cargv.data(), cenv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    std::size_t answered = 0, promptsFrom = 0;
    if (pid < 0) return result;
    if (!Run.Input.empty()) (void)!write(in[1], Run.Input.data(), Run.Input.size());
    close(in[1]);

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto deadline = start + Run.Timeout;
    bool interruptSent = Run.InterruptAfter.count() <= 0;
    int fds[2] = {out[0], err[0]};
    std::string* sinks[2] = {&result.Out, &result.Err};
    bool open[2] = {true, true};
    char buffer[65536];
    while (open[0] || open[1]) {
        auto now = Clock::now();
        if (now >= deadline) {
            result.TimedOut = true;
            break;
        }
        if (!interruptSent && now - start >= Run.InterruptAfter) {
            kill(pid, SIGINT);
            interruptSent = true;
        }
        pollfd p[2];
        int n = 0, map[2];
        for (int i = 0; i < 2; ++i)
            if (open[i]) {
                p[n] = {fds[i], POLLIN, 0};
                map[n++] = i;
            }
        if (poll(p, static_cast<nfds_t>(n), 50) <= 0) continue;
        for (int k = 0; k < n; ++k) {
            if (!(p[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t got = read(p[k].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[map[k]]->append(buffer, static_cast<size_t>(got));
                if (answered < Run.TerminalAnswers.size() && map[k] == 1) {
                    const auto& [prompt, answer] = Run.TerminalAnswers[answered];
                    const std::size_t at = result.Err.find(prompt, promptsFrom);
                    if (at != std::string::npos) {
                        const std::string line = answer + "\n";
                        (void)!write(terminal, line.data(), line.size());
                        promptsFrom = at + prompt.size();
                        ++answered;
                    }
                }
            } else if (got == 0 || errno != EINTR) {
                open[map[k]] = false;  // a pseudo-terminal ends with EIO
            }
        }
    }
    close(out[0]);
    close(err[0]);
    int status = 0;
    if (result.TimedOut) kill(pid, SIGKILL);
    // The pipes closed; the child is leaving. Bounded all the same.
    for (int i = 0; i < 200 && waitpid(pid, &status, WNOHANG) == 0; ++i) usleep(25000);
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        result.TimedOut = true;
        waitpid(pid, &status, 0);
    }
    if (!result.TimedOut && WIFEXITED(status)) result.Status = WEXITSTATUS(status);
    return result;
}

}  // namespace cli
