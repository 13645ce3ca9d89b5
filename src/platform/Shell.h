// The shell's "open" verb for documents, local pages and "mailto:" addresses.
//
// The request goes through a replaceable runner, so that tests see what would
// be opened without launching anything. The default runner starts xdg-open
// with an argument vector (never through a shell) and does not wait for it.
// Results follow the original convention: above 32 is success.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMAXIMIZED = 3;

constexpr std::intptr_t SE_ERR_FNF = 2;       // the file does not exist
constexpr std::intptr_t SE_ERR_NOASSOC = 31;  // nothing to open it with
constexpr std::intptr_t SHELL_OK = 42;

struct ShellRequest {
    std::string Operation;
    std::string File;
    std::string Parameters;
    std::string Directory;
    int ShowCmd = SW_SHOWNORMAL;
};

using ShellRunner = std::function<std::intptr_t(const ShellRequest&)>;

// Installs a runner (an empty one restores xdg-open); returns the previous.
ShellRunner SetShellRunner(ShellRunner runner);

std::intptr_t ShellExecute(const std::string& operation, const std::string& file,
                           const std::string& parameters, const std::string& directory, int showCmd);

// The default runner. Only "open" is known. A local file (a name without a
// "scheme:" part) must exist. The child is reaped in the background.
std::intptr_t XdgOpen(const ShellRequest& request);

}  // namespace platform
