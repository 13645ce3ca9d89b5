#include "platform/Shell.h"

#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

#include "platform/Folders.h"

extern char** environ;

namespace platform {

namespace {

ShellRunner& CurrentRunner() {
    static ShellRunner runner;
    return runner;
}

// "mailto:x", "http://x": a scheme of letters, digits, "+", "-", "." then ":".
bool HasScheme(const std::string& file) {
    const size_t colon = file.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    for (size_t i = 0; i < colon; ++i) {
        const char c = file[i];
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!ok) return false;
    }
    return true;
}

}  // namespace

ShellRunner SetShellRunner(ShellRunner runner) {
    ShellRunner previous = std::move(CurrentRunner());
    CurrentRunner() = std::move(runner);
    return previous;
}

std::intptr_t ShellExecute(const std::string& operation, const std::string& file,
                           const std::string& parameters, const std::string& directory, int showCmd) {
    const ShellRequest request{operation, file, parameters, directory, showCmd};
    const ShellRunner& runner = CurrentRunner();
    return runner ? runner(request) : XdgOpen(request);
}

std::intptr_t XdgOpen(const ShellRequest& request) {
    if (request.Operation != "open" || request.File.empty()) return SE_ERR_NOASSOC;
    if (!HasScheme(request.File) && !FileExists(request.File) && !DirectoryExists(request.File))
        return SE_ERR_FNF;
    std::string program = "xdg-open";
    std::string target = request.File;
    std::vector<char*> argv{program.data(), target.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv.data(), environ) != 0)
        return SE_ERR_NOASSOC;
    // xdg-open may live as long as the browser it starts; never wait for it on
    // the user-interface thread, but do not leave it a zombie either.
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
    }).detach();
    return SHELL_OK;
}

}  // namespace platform
