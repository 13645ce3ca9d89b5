// Replacing a file's whole content without ever leaving it half-written: the
// content goes into a temporary file beside it (the name + ".tmp"), which is
// then renamed over it. The content is on the disk (fsync) before the
// rename: otherwise a crash after it can leave the name holding an empty
// file on file systems that delay allocation.
#pragma once

#include <string>

#include <sys/types.h>

namespace platform {

// What becomes of the mode of a file that already exists.
enum class TExistingMode {
    Keep,     // it keeps its own; a new file gets mode less the umask
    Replace,  // it gets mode exactly, as a new file does
};

// Writes content as the file name; false when the system refuses (errno then
// tells why) or something other than a file stands at name. A temporary file
// left by an earlier crash is replaced, never written through (a link there
// is removed, not followed).
bool ReplaceFileContent(const std::string& name, const std::string& content, mode_t mode, TExistingMode existing);

}  // namespace platform
