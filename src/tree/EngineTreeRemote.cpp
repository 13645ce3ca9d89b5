#include "tree/EngineTreeRemote.h"

bool TEngineTreeRemote::FolderExists(const std::string& Folder) {
    if (!Call(&TCustomFtpCli::PwdAsync)) return false;
    const std::string back = E.ReplyDirName();
    E.HostDirName = Folder;
    if (!Call(&TCustomFtpCli::CwdAsync)) return false;
    E.HostDirName = back;
    Call(&TCustomFtpCli::CwdAsync);
    return true;
}

bool TEngineTreeRemote::MakeFolder(const std::string& Folder) {
    E.HostFileName = Folder;
    return Call(&TCustomFtpCli::MkdAsync);
}

bool TEngineTreeRemote::Receive(const std::string& Remote, const std::string& LocalPath, bool Resume) {
    E.HostFileName = Remote;
    E.LocalFileName = LocalPath;
    E.DisplayFileFlag = false;
    E.ResumeAt = 0;
    return Moving(Resume ? &TCustomFtpCli::RestGetAsync : &TCustomFtpCli::GetAsync);
}

bool TEngineTreeRemote::Send(const std::string& LocalPath, const std::string& Remote, std::int64_t ResumeAt) {
    E.LocalFileName = LocalPath;
    E.HostFileName = Remote;
    E.ResumeAt = ResumeAt;
    return Moving(ResumeAt > 0 ? &TCustomFtpCli::RestPutAsync : &TCustomFtpCli::PutAsync);
}

bool TEngineTreeRemote::DeleteFile(const std::string& Remote) {
    E.HostFileName = Remote;
    return Call(&TCustomFtpCli::DeleAsync);
}

bool TEngineTreeRemote::RemoveFolder(const std::string& Remote) {
    E.HostFileName = Remote;
    return Call(&TCustomFtpCli::RmdAsync);
}
