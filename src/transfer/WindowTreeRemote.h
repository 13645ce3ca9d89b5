// TWindowTreeRemote: the window's engine as the remote side of a folder
// transfer. Each step is one synchronous request of the engine; paths are
// absolute, so the session's folder stays the one on view.
//
// Contract: the engine must be connected and idle at each call; Going() is
// asked before each step and ends the run when false (the user's Stop). The
// engine must outlive this object. User-interface thread only.
#pragma once

#include <functional>
#include <string>

#include "ftp/FtpCli.h"
#include "tree/EngineTreeRemote.h"

class TWindowTreeRemote : public TEngineTreeRemote {
public:
    TWindowTreeRemote(TFtpClient& Engine, std::function<bool()> Going)
        : TEngineTreeRemote(Engine), FGoing(std::move(Going)) {}

    bool List(const std::string& Folder, std::string& Text) override;
    bool Usable() override;
    std::string LastError() override;

private:
    bool Call(TFtpClient::TRequestMethod Method) override;

    std::function<bool()> FGoing;
    std::string FLocalError;
};
