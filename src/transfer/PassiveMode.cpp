// Passive mode per server: chosen at each connect, remembered once a passive
// retry has worked, forgotten when passive mode fails there later.
#include "transfer/Unit1.h"

#include "ftp/FtpUrl.h"
#include "transfer/ServerLines.h"

namespace {

// [Options] Passive as a user sets it by hand: passive for every site.
constexpr char kEverySitePassive[] = "Passive";

}  // namespace

void TFrmFTP::ChoosePassiveMode(const TFtpUrl& address) {
    PassiveServer = ServerKey(address);
    EverySitePassive = Settings.ReadBool("Options", kEverySitePassive, false);
    PassiveRemembered = PassiveServers.Contains(PassiveServer);
    FtpClient1->Passive = EverySitePassive || PassiveRemembered;
}

void TFrmFTP::UpdatePassiveMemory(TFtpRequest RqType, std::uint16_t Error) {
    const bool dataRequest = RqType == ftpDirAsync || IsFileTransfer(RqType);
    if (!dataRequest || !FtpClient1->Passive || PassiveServer.empty() || EverySitePassive) return;
    std::string why;
    if (Error == 0 && !PassiveRemembered) {
        if (PassiveServers.Remember(PassiveServer, why)) PassiveRemembered = true;
        else AddLogLine("Passive mode could not be remembered for " + PassiveServer + ": " + why + ".");
    } else if (Error != 0 && PassiveRemembered && FtpClient1->DataConnectionFailed()) {
        FtpClient1->Passive = false;
        AddLogLine("Passive mode failed; active mode will be tried first again.");
        if (PassiveServers.Forget(PassiveServer, why)) PassiveRemembered = false;
        else AddLogLine("Passive mode could not be forgotten for " + PassiveServer + ": " + why + ".");
    }
}
