// TEngineTreeRemote: the remote side of a folder transfer as requests of one
// engine. How a request is run and waited for (the window's synchronous
// call, tarnftp's sessions) is the owner's; the steps' parameters are set
// here once.
//
// Contract: the engine must outlive this object. User-interface thread only.
#pragma once

#include <cstdint>
#include <string>

#include "ftp/FtpCli.h"
#include "tree/TreeRemote.h"

class TEngineTreeRemote : public TTreeRemote {
public:
    bool FolderExists(const std::string& Folder) override;
    bool MakeFolder(const std::string& Folder) override;
    bool Receive(const std::string& Remote, const std::string& LocalPath, bool Resume) override;
    bool Send(const std::string& LocalPath, const std::string& Remote, std::int64_t ResumeAt) override;
    bool DeleteFile(const std::string& Remote) override;
    bool RemoveFolder(const std::string& Remote) override;

protected:
    explicit TEngineTreeRemote(TFtpClient& Engine) : E(Engine) {}

    // Runs one request to its end; false when it failed.
    virtual bool Call(TFtpClient::TRequestMethod Method) = 0;
    // A request that moves a file's bytes.
    virtual bool Moving(TFtpClient::TRequestMethod Method) { return Call(Method); }

    TFtpClient& E;
};
