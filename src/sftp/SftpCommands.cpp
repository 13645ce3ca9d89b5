// TSftpClient: the requests on folders and names: CWD, CDUP, PWD, SIZE, MKD,
// RMD, DELE, the rename pair, the transfer type, SYST and QUIT.
#include "sftp/SftpCli.h"

#include <libssh2.h>
#include <libssh2_sftp.h>

#include "base/Strings.h"

namespace {
std::string Quoted(const std::string& Path) { return "\"" + Path + "\""; }
}  // namespace

void TSftpClient::CwdAsync() {
    FTargetPath = HostDirName;
    BeginRequest(ftpCwdAsync, needLogin, &TSftpClient::StepCwd);
}

void TSftpClient::CDupAsync() {
    FTargetPath = "..";
    BeginRequest(ftpCDupAsync, needLogin, &TSftpClient::StepCwd);
}

void TSftpClient::StepCwd() {
    char path[4096];
    const std::string target = RemotePath(FTargetPath);
    const int rc = libssh2_sftp_realpath(FSftp, target.c_str(), path, sizeof path - 1);
    if (Again(rc)) return;
    if (rc < 0) {
        FailFromSession(550, target);
        return;
    }
    FTargetPath.assign(path, static_cast<std::size_t>(rc));
    SetStep(&TSftpClient::StepStatDir);
}

void TSftpClient::StepStatDir() {
    LIBSSH2_SFTP_ATTRIBUTES attrs{};
    const int rc = libssh2_sftp_stat_ex(FSftp, FTargetPath.c_str(),
                                        static_cast<unsigned>(FTargetPath.size()),
                                        LIBSSH2_SFTP_STAT, &attrs);
    if (Again(rc)) return;
    if (rc < 0) {
        FailFromSession(550, FTargetPath);
        return;
    }
    if (!(attrs.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS) || !LIBSSH2_SFTP_S_ISDIR(attrs.permissions)) {
        EndRequest(550, "550 " + FTargetPath + ": Not a directory");
        return;
    }
    FCurrentDir = FTargetPath;
    EndRequest(250, "250 Directory successfully changed.");
}

void TSftpClient::PwdAsync() {
    if (!BeginRequest(ftpPwdAsync, needLogin, nullptr)) return;
    FReplyDirName = FCurrentDir;
    EndRequest(257, "257 " + Quoted(FCurrentDir) + " is the current directory");
}

void TSftpClient::TypeSetAsync() {
    // SFTP moves bytes as they are: there is no ASCII mode to set.
    if (!BeginRequest(ftpTypeSetAsync, needSocket, nullptr)) return;
    EndRequest(200, "200 Type set to I");
}

void TSftpClient::TypeBinaryAsync() {
    SetBinary(true);
    TypeSetAsync();
}

void TSftpClient::TypeAsciiAsync() {
    SetBinary(false);
    TypeSetAsync();
}

void TSftpClient::SystAsync() {
    if (!BeginRequest(ftpSystAsync, needSocket, nullptr)) return;
    EndRequest(215, "215 UNIX Type: L8");
}

void TSftpClient::SizeAsync() {
    FTargetPath = RemotePath(HostFileName);
    BeginRequest(ftpSizeAsync, needLogin, &TSftpClient::StepSize);
}

void TSftpClient::StepSize() {
    LIBSSH2_SFTP_ATTRIBUTES attrs{};
    const int rc = libssh2_sftp_stat_ex(FSftp, FTargetPath.c_str(),
                                        static_cast<unsigned>(FTargetPath.size()),
                                        LIBSSH2_SFTP_STAT, &attrs);
    if (Again(rc)) return;
    if (rc < 0) {
        FailFromSession(550, FTargetPath);
        return;
    }
    if (!(attrs.flags & LIBSSH2_SFTP_ATTR_SIZE) ||
        ((attrs.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS) && !LIBSSH2_SFTP_S_ISREG(attrs.permissions))) {
        EndRequest(550, "550 " + FTargetPath + ": Could not get file size.");
        return;
    }
    FReplySize = static_cast<std::int64_t>(attrs.filesize);
    EndRequest(213, "213 " + IntToStr(FReplySize));
}

void TSftpClient::MkdAsync() {
    FTargetPath = RemotePath(HostFileName);
    BeginRequest(ftpMkdAsync, needLogin, &TSftpClient::StepMkdir);
}

void TSftpClient::StepMkdir() {
    const int rc = libssh2_sftp_mkdir_ex(FSftp, FTargetPath.c_str(),
                                         static_cast<unsigned>(FTargetPath.size()), 0755);
    if (Again(rc)) return;
    if (rc < 0) {
        FailFromSession(550, FTargetPath);
        return;
    }
    FReplyDirName = FTargetPath;
    EndRequest(257, "257 " + Quoted(FTargetPath) + " created");
}

// The end of a request that is one call on FTargetPath.
void TSftpClient::EndPathRequest(int rc, const char* Reply) {
    if (Again(rc)) return;
    if (rc < 0) {
        FailFromSession(550, FTargetPath);
        return;
    }
    EndRequest(250, Reply);
}

void TSftpClient::RmdAsync() {
    FTargetPath = RemotePath(HostFileName);
    BeginRequest(ftpRmdAsync, needLogin, &TSftpClient::StepRmdir);
}

void TSftpClient::StepRmdir() {
    EndPathRequest(libssh2_sftp_rmdir_ex(FSftp, FTargetPath.c_str(), static_cast<unsigned>(FTargetPath.size())),
                   "250 Remove directory operation successful.");
}

void TSftpClient::DeleAsync() {
    FTargetPath = RemotePath(HostFileName);
    BeginRequest(ftpDeleAsync, needLogin, &TSftpClient::StepUnlink);
}

void TSftpClient::StepUnlink() {
    EndPathRequest(libssh2_sftp_unlink_ex(FSftp, FTargetPath.c_str(), static_cast<unsigned>(FTargetPath.size())),
                   "250 Delete operation successful.");
}

void TSftpClient::RenFromAsync() {
    if (!BeginRequest(ftpRenFromAsync, needLogin, nullptr)) return;
    // Checked by the rename itself, as a server does with RNTO.
    FRenameFrom = RemotePath(HostFileName);
    EndRequest(350, "350 Ready for RNTO.");
}

void TSftpClient::RenToAsync() {
    if (FRenameFrom.empty()) {
        ReportEngineError("RNTO without RNFR");
        return;
    }
    FRenameTo = RemotePath(LocalFileName);
    BeginRequest(ftpRenToAsync, needLogin, &TSftpClient::StepRename);
}

void TSftpClient::RenAsync() {
    FRenameFrom = RemotePath(HostFileName);
    FRenameTo = RemotePath(LocalFileName);
    BeginRequest(ftpRenAsync, needLogin, &TSftpClient::StepRename);
}

void TSftpClient::StepRename() {
    const int rc = libssh2_sftp_rename_ex(
        FSftp, FRenameFrom.c_str(), static_cast<unsigned>(FRenameFrom.size()), FRenameTo.c_str(),
        static_cast<unsigned>(FRenameTo.size()),
        LIBSSH2_SFTP_RENAME_OVERWRITE | LIBSSH2_SFTP_RENAME_ATOMIC | LIBSSH2_SFTP_RENAME_NATIVE);
    if (Again(rc)) return;
    const std::string from = FRenameFrom;
    FRenameFrom.clear();
    if (rc < 0) {
        FailFromSession(550, from);
        return;
    }
    EndRequest(250, "250 Rename successful.");
}

void TSftpClient::QuitAsync() {
    if (!FSession) {
        // Nothing to end: done at once, as a server that just closes.
        if (!BeginRequest(ftpQuitAsync, needNothing, nullptr)) return;
        DropSession();
        EndRequest(221, "221 Goodbye.");
        return;
    }
    BeginRequest(ftpQuitAsync, needSocket, &TSftpClient::StepQuit);
}

void TSftpClient::StepQuit() {
    if (FHandle) {
        if (Again(libssh2_sftp_close_handle(FHandle))) return;
        FHandle = nullptr;
    }
    if (FSftp) {
        if (Again(libssh2_sftp_shutdown(FSftp))) return;
        FSftp = nullptr;
    }
    if (FSocketUp && Again(libssh2_session_disconnect_ex(FSession, SSH_DISCONNECT_BY_APPLICATION,
                                                         "Goodbye", "")))
        return;
    DropSession();
    ControlUp = false;
    EndRequest(221, "221 Goodbye.");
}

void TSftpClient::FileSizeAsync() { Refuse("FileSize"); }
void TSftpClient::MkdirAsync() { Refuse("Mkdir"); }
void TSftpClient::RmdirAsync() { Refuse("Rmdir"); }
void TSftpClient::DeleteAsync() { Refuse("Delete"); }
void TSftpClient::RenameAsync() { Refuse("Rename"); }
