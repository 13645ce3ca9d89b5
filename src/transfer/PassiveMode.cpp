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
    FtpClient1->Passive =
        Settings.ReadBool("Options", kEverySitePassive, false) || PassiveServers.Contains(PassiveServer);
}

void TFrmFTP::UpdatePassiveMemory(TFtpRequest RqType, std::uint16_t Error) {
    const bool dataRequest = RqType == ftpDirAsync || IsFileTransfer(RqType);
    if (!dataRequest || !FtpClient1->Passive || PassiveServer.empty() ||
        Settings.ReadBool("Options", kEverySitePassive, false))
        return;
    const bool remembered = PassiveServers.Contains(PassiveServer);
    std::string why;
    if (Error == 0 && !remembered) {
        if (!PassiveServers.Remember(PassiveServer, why))
            AddLogLine("Passive mode could not be remembered for " + PassiveServer + ": " + why + ".");
    } else if (Error != 0 && remembered && FtpClient1->DataConnectionFailed()) {
        FtpClient1->Passive = false;
        AddLogLine("Passive mode failed; active mode will be tried first again.");
        if (!PassiveServers.Forget(PassiveServer, why))
            AddLogLine("Passive mode could not be forgotten for " + PassiveServer + ": " + why + ".");
    }
}
