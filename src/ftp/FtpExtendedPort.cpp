// TCustomFtpCli: the extended data port commands of RFC 2428. An IPv6
// control connection uses EPSV and EPRT; IPv4 keeps PASV and PORT on the
// wire, with EPSV only for a server that does not know PASV.
#include "ftp/CustomFtpCli.h"

#include "base/Strings.h"
#include "net/WSocketResolve.h"

bool TCustomFtpCli::ControlIsIpv6() const {
    // Addr is the address connected to (the proxy's with ftpProxy, the
    // server's through SOCKS, where the data connection goes as well).
    return ControlSocket && WSocketIsIpv6Addr(ControlSocket->Addr());
}

std::string TCustomFtpCli::EprtCommand(int Port) const {
    winsock::SOCKADDR_INET local{};
    int len = sizeof local;
    ControlSocket->GetLocalSockAddr(local, len);
    return "EPRT |2|" + WSocketAddrText(local) + "|" + IntToStr(Port) + "|";
}

void TCustomFtpCli::PasvReplied() {
    // Not while an abort is under way: that one ends the step.
    if ((StepResult == 500 || StepResult == 502) && FState == fesAwaitingReply) {
        // The same Port step goes on with the other command.
        ChangeState(fesBetweenSteps);
        IssueCommand(ftpPortAsync, stepPort, "EPSV", {229}, nullptr);
        return;
    }
    CompleteRequest(StepResult);
}
