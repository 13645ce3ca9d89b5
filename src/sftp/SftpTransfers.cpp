// TSftpClient: listings, downloads and uploads. libssh2 keeps many read or
// write requests in flight when it is handed a large buffer; each step moves
// at most kSftpBytesPerTurn before the loop gets its turn.
#include "sftp/SftpCli.h"

#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>

#include <libssh2.h>
#include <libssh2_sftp.h>

#include "base/Strings.h"
#include "sftp/SftpListing.h"
#include "sftp/SftpTypes.h"

namespace {

std::int64_t LocalSize(const std::string& Name) {
    struct stat st {};
    return stat(Name.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
}

TSftpEntry EntryOf(const char* Name, int Len, const LIBSSH2_SFTP_ATTRIBUTES& A) {
    TSftpEntry e;
    e.Name.assign(Name, static_cast<std::size_t>(Len));
    e.HasPermissions = A.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS;
    e.Permissions = A.permissions;
    e.HasOwner = A.flags & LIBSSH2_SFTP_ATTR_UIDGID;
    e.Uid = A.uid;
    e.Gid = A.gid;
    e.HasSize = A.flags & LIBSSH2_SFTP_ATTR_SIZE;
    e.Size = A.filesize;
    e.HasTime = A.flags & LIBSSH2_SFTP_ATTR_ACMODTIME;
    e.Modified = static_cast<std::time_t>(A.mtime);
    return e;
}

}  // namespace

void TSftpClient::StartTransfer(TFtpRequest RqType, TSftpStep OpenStep) {
    if (!FSftp) {
        ReportEngineError("not connected");
        return;
    }
    if (LocalFileName.empty()) {
        ReportEngineError("LocalFileName empty");
        return;
    }
    if (!EnsureReady()) return;
    FByteCount = 0;
    FBufferLen = FBufferPos = 0;
    FLocalEof = false;
    FTransferCode = 0;
    FTransferLine.clear();
    StartTime = platform::GetTickCount();
    BeginRequest(RqType, needLogin, OpenStep);
}

void TSftpClient::DirAsync() {
    FNamesOnly = false;
    StartTransfer(ftpDirAsync, &TSftpClient::StepOpenDir);
}

void TSftpClient::LsAsync() {
    FNamesOnly = true;
    StartTransfer(ftpLsAsync, &TSftpClient::StepOpenDir);
}

void TSftpClient::StepOpenDir() {
    if (!LocalFileStream) {
        LocalFileStream.reset(TFtpLocalFile::Create(LocalFileName));
        if (!LocalFileStream) {
            LocalFileFailed = true;
            EndRequest(550, "550 Unable to open local file " + LocalFileName);
            return;
        }
        FTargetPath = RemotePath(HostFileName);
    }
    FHandle = libssh2_sftp_open_ex(FSftp, FTargetPath.c_str(),
                                   static_cast<unsigned>(FTargetPath.size()), 0, 0,
                                   LIBSSH2_SFTP_OPENDIR);
    if (!FHandle) {
        if (Again(libssh2_session_last_errno(FSession))) return;
        FailFromSession(550, FTargetPath);
        return;
    }
    FListingNow = std::time(nullptr);
    SetStep(&TSftpClient::StepReadDir);
}

void TSftpClient::StepReadDir() {
    char name[4096];
    for (int entries = 0; entries < 1000; ++entries) {
        LIBSSH2_SFTP_ATTRIBUTES attrs{};
        const int rc = libssh2_sftp_readdir_ex(FHandle, name, sizeof name, nullptr, 0, &attrs);
        if (Again(rc)) return;
        if (rc < 0) {
            FailFromSession(550, FTargetPath);
            return;
        }
        if (rc == 0) {
            EndTransfer(226, "226 Directory send OK.");
            return;
        }
        const TSftpEntry entry = EntryOf(name, rc, attrs);
        std::string line;
        if (!SftpListingLine(entry, FListingNow, line)) continue;
        if (FNamesOnly) line = entry.Name;
        line += "\r\n";
        if (!LocalFileStream->Write(line.data(), static_cast<int>(line.size()))) {
            LocalFileFailed = true;
            EndTransfer(550, "550 Cannot write local file " + LocalFileName);
            return;
        }
        FByteCount += static_cast<std::int64_t>(line.size());
    }
    ResumeLater();
}

void TSftpClient::GetAsync() {
    FResumeOffset = 0;
    StartTransfer(ftpGetAsync, &TSftpClient::StepOpenRead);
}

void TSftpClient::RestGetAsync() {
    FResumeOffset = (Options & ftpNoAutoResumeAt) ? ResumeAt : LocalSize(LocalFileName);
    StartTransfer(ftpRestGetAsync, &TSftpClient::StepOpenRead);
}

bool TSftpClient::OpenLocalForDownload() {
    ResumeAt = FResumeOffset;
    LocalFileStream.reset(FResumeOffset > 0
                              ? TFtpLocalFile::OpenForWriteAt(LocalFileName, FResumeOffset)
                              : TFtpLocalFile::Create(LocalFileName));
    if (LocalFileStream) return true;
    LocalFileFailed = true;
    return false;
}

void TSftpClient::StepOpenRead() {
    if (!FHandle) {
        FTargetPath = RemotePath(HostFileName);
        FHandle = libssh2_sftp_open_ex(FSftp, FTargetPath.c_str(),
                                       static_cast<unsigned>(FTargetPath.size()),
                                       LIBSSH2_FXF_READ, 0, LIBSSH2_SFTP_OPENFILE);
        if (!FHandle) {
            if (Again(libssh2_session_last_errno(FSession))) return;
            FailFromSession(550, FTargetPath);
            return;
        }
    }
    // The local file is opened only once the remote one could be: a refused
    // download leaves the local file as it was.
    if (!OpenLocalForDownload()) {
        EndTransfer(550, "550 Unable to open local file " + LocalFileName);
        return;
    }
    StartMoving("GET", &TSftpClient::StepRead);
}

// The remote file is open: from the resume offset on, the bytes move.
void TSftpClient::StartMoving(const char* Verb, TSftpStep Next) {
    if (FResumeOffset > 0) libssh2_sftp_seek64(FHandle, static_cast<libssh2_uint64_t>(FResumeOffset));
    FireDisplay(std::string("> ") + Verb + " " + FTargetPath +
                (FResumeOffset > 0 ? " from " + IntToStr(FResumeOffset) : ""));
    if (!FBuffer) FBuffer.reset(new char[kSftpTransferBlock]);
    SetStep(Next);
}

void TSftpClient::StepRead() {
    long long moved = 0;
    for (;;) {
        const ssize_t n = libssh2_sftp_read(FHandle, FBuffer.get(), kSftpReadBlock);
        if (n == LIBSSH2_ERROR_EAGAIN) return;
        if (n < 0) {
            FailFromSession(550, FTargetPath);
            return;
        }
        if (n == 0) {
            if (FTransportFailed) {
                FailFromSession(426, FTargetPath);
                return;
            }
            if (!LocalFileStream->Flush()) {
                LocalFileFailed = true;
                EndTransfer(550, "550 Cannot write local file " + LocalFileName);
                return;
            }
            EndTransfer(226, "226 Transfer complete.");
            return;
        }
        if (!LocalFileStream->Write(FBuffer.get(), static_cast<int>(n))) {
            LocalFileFailed = true;
            EndTransfer(550, "550 Cannot write local file " + LocalFileName);
            return;
        }
        FByteCount += n;
        if (!Progress()) {
            EndTransfer(426, "426 Transfer aborted by application");
            return;
        }
        moved += n;
        if (moved >= kSftpBytesPerTurn) {
            ResumeLater();
            return;
        }
    }
}

void TSftpClient::PutAsync() {
    FResumeOffset = 0;
    FAppending = false;
    StartTransfer(ftpPutAsync, &TSftpClient::StepOpenWrite);
}

void TSftpClient::RestPutAsync() {
    FResumeOffset = ResumeAt > 0 ? ResumeAt : 0;
    FAppending = false;
    StartTransfer(ftpRestPutAsync, &TSftpClient::StepOpenWrite);
}

void TSftpClient::AppendAsync() {
    FResumeOffset = 0;
    FAppending = true;
    StartTransfer(ftpAppendAsync, &TSftpClient::StepOpenWrite);
}

void TSftpClient::StepOpenWrite() {
    if (!LocalFileStream) {
        LocalFileStream.reset(TFtpLocalFile::OpenForReadAt(LocalFileName, FResumeOffset));
        if (!LocalFileStream) {
            LocalFileFailed = true;
            EndRequest(550, "550 Unable to open local file " + LocalFileName);
            return;
        }
        ResumeAt = FResumeOffset;
        FTargetPath = RemotePath(HostFileName);
    }
    if (!FHandle) {
        unsigned long flags = LIBSSH2_FXF_WRITE | LIBSSH2_FXF_CREAT;
        if (FAppending) flags |= LIBSSH2_FXF_APPEND;
        else if (FResumeOffset == 0) flags |= LIBSSH2_FXF_TRUNC;
        FHandle = libssh2_sftp_open_ex(FSftp, FTargetPath.c_str(),
                                       static_cast<unsigned>(FTargetPath.size()), flags, 0644,
                                       LIBSSH2_SFTP_OPENFILE);
        if (!FHandle) {
            if (Again(libssh2_session_last_errno(FSession))) return;
            FailFromSession(550, FTargetPath);
            return;
        }
    }
    StartMoving("PUT", &TSftpClient::StepWrite);
}

bool TSftpClient::FillUploadBuffer() {
    // Bytes handed to libssh2 but not acknowledged stay at the front: it
    // expects them again, followed by new ones.
    if (FBufferPos > 0) {
        std::memmove(FBuffer.get(), FBuffer.get() + FBufferPos, FBufferLen - FBufferPos);
        FBufferLen -= FBufferPos;
        FBufferPos = 0;
    }
    while (!FLocalEof && FBufferLen < kSftpTransferBlock) {
        const int n = LocalFileStream->Read(FBuffer.get() + FBufferLen,
                                            static_cast<int>(kSftpTransferBlock - FBufferLen));
        if (n < 0) return false;
        if (n == 0) FLocalEof = true;
        FBufferLen += static_cast<std::size_t>(n);
    }
    return true;
}

void TSftpClient::StepWrite() {
    long long moved = 0;
    for (;;) {
        // Topped up when half has gone, so the pipeline never runs dry.
        if (!FLocalEof && FBufferLen - FBufferPos < kSftpTransferBlock / 2 && !FillUploadBuffer()) {
            LocalFileFailed = true;
            EndTransfer(550, "550 Cannot read local file " + LocalFileName);
            return;
        }
        if (FBufferPos == FBufferLen) {
            EndTransfer(226, "226 Transfer complete.");
            return;
        }
        const ssize_t n =
            libssh2_sftp_write(FHandle, FBuffer.get() + FBufferPos, FBufferLen - FBufferPos);
        if (n == LIBSSH2_ERROR_EAGAIN) return;
        if (n < 0) {
            FailFromSession(550, FTargetPath);
            return;
        }
        FBufferPos += static_cast<std::size_t>(n);
        FByteCount += n;
        if (n > 0 && !Progress()) {
            EndTransfer(426, "426 Transfer aborted by application");
            return;
        }
        moved += n;
        if (moved >= kSftpBytesPerTurn) {
            ResumeLater();
            return;
        }
    }
}

void TSftpClient::EndTransfer(int Code, const std::string& Line) {
    FTransferCode = Code;
    FTransferLine = Line;
    if (LocalFileStream && !LocalFileStream->Flush() && Code < 400) {
        LocalFileFailed = true;
        FTransferCode = 550;
        FTransferLine = "550 Cannot write local file " + LocalFileName;
    }
    ReleaseLocalFile();
    if (FHandle && FSocketUp) {
        SetStep(&TSftpClient::StepCloseHandle);
        return;
    }
    FinishTransfer();
}

void TSftpClient::StepCloseHandle() {
    const int rc = libssh2_sftp_close_handle(FHandle);
    if (Again(rc)) return;
    FHandle = nullptr;
    // An upload is complete only once the server has closed its file.
    if (rc < 0 && FTransferCode < 400) {
        FailFromSession(550, FTargetPath);
        return;
    }
    FinishTransfer();
}

void TSftpClient::FinishTransfer() {
    StopTime = platform::GetTickCount();
    ResumeAt = 0;
    FBuffer.reset();
    EndRequest(FTransferCode, FTransferLine);
}
