#include "transfer/WindowTreeRemote.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include <unistd.h>

bool TWindowTreeRemote::Call(TFtpClient::TRequestMethod Method) {
    FLocalError.clear();
    try {
        return E.RunSync(Method);
    } catch (const std::exception& e) {
        // A request the engine refused at once (one still running, no session).
        FLocalError = e.what();
        return false;
    }
}

bool TWindowTreeRemote::List(const std::string& Folder, std::string& Text) {
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tarnwick-list-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) {
        FLocalError = std::string("cannot make a listing file: ") + std::strerror(errno);
        return false;
    }
    ::close(fd);
    E.HostFileName = Folder;
    E.LocalFileName = path;
    E.DisplayFileFlag = false;
    const bool ok = Call(&TCustomFtpCli::DirAsync);
    if (ok) {
        std::ifstream in(path, std::ios::binary);
        Text.assign(std::istreambuf_iterator<char>(in), {});
    }
    ::unlink(path.c_str());
    return ok;
}

bool TWindowTreeRemote::Usable() { return E.Connected() && FGoing(); }

std::string TWindowTreeRemote::LastError() {
    if (!FLocalError.empty()) return FLocalError;
    return E.ErrorMessage().empty() ? "the server did not answer" : E.ErrorMessage();
}
