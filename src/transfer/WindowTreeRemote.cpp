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

bool TWindowTreeRemote::FolderExists(const std::string& Folder) {
    if (!Call(&TCustomFtpCli::PwdAsync)) return false;
    const std::string back = E.ReplyDirName();
    E.HostDirName = Folder;
    if (!Call(&TCustomFtpCli::CwdAsync)) return false;
    E.HostDirName = back;
    Call(&TCustomFtpCli::CwdAsync);
    return true;
}

bool TWindowTreeRemote::MakeFolder(const std::string& Folder) {
    E.HostFileName = Folder;
    return Call(&TCustomFtpCli::MkdAsync);
}

bool TWindowTreeRemote::Receive(const std::string& Remote, const std::string& LocalPath, bool Resume) {
    E.HostFileName = Remote;
    E.LocalFileName = LocalPath;
    E.DisplayFileFlag = false;
    E.ResumeAt = 0;
    return Call(Resume ? &TCustomFtpCli::RestGetAsync : &TCustomFtpCli::GetAsync);
}

bool TWindowTreeRemote::Send(const std::string& LocalPath, const std::string& Remote, std::int64_t ResumeAt) {
    E.LocalFileName = LocalPath;
    E.HostFileName = Remote;
    E.ResumeAt = ResumeAt;
    return Call(ResumeAt > 0 ? &TCustomFtpCli::RestPutAsync : &TCustomFtpCli::PutAsync);
}

bool TWindowTreeRemote::DeleteFile(const std::string& Remote) {
    E.HostFileName = Remote;
    return Call(&TCustomFtpCli::DeleAsync);
}

bool TWindowTreeRemote::RemoveFolder(const std::string& Remote) {
    E.HostFileName = Remote;
    return Call(&TCustomFtpCli::RmdAsync);
}

bool TWindowTreeRemote::Usable() { return E.Connected() && FGoing(); }

std::string TWindowTreeRemote::LastError() {
    if (!FLocalError.empty()) return FLocalError;
    return E.ErrorMessage().empty() ? "the server did not answer" : E.ErrorMessage();
}
