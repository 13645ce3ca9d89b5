// TCustomFtpCli: the data-connection steps (PORT/PASV, RETR, LIST, NLST, STOR,
// APPE).
//
// Not built yet: each step makes its own refusal checks, then ends its
// request with 550 and says so, so that no chain holding a data step can
// report success.
#include "ftp/CustomFtpCli.h"

void TCustomFtpCli::DataStepNotBuilt(const std::string& Verb) {
    FLastReplyLine = "550 " + Verb + ": data connections are not available yet";
    FReplyCode = 550;
    KeepFirstErrorLine();
    FireDisplay("! " + FLastReplyLine);
    StepResult = 550;
    CompletionPosted = false;
    CompleteRequest(550);
}

void TCustomFtpCli::PortAsync() {
    if (!EnsureReady()) return;
    if (!ControlUp) {
        ReportEngineError("FTP component not connected");
        return;
    }
    if (!ChainActive) FRequestType = ftpPortAsync;
    LastStep = stepPort;
    FByteCount = 0;
    DataStepNotBuilt(Passive ? "PASV" : "PORT");
}

namespace {
TFtpRequest ReceiveRequest(const std::string& Verb) {
    return Verb == "RETR" ? ftpGetAsync : Verb == "LIST" ? ftpDirAsync : ftpLsAsync;
}
}  // namespace

void TCustomFtpCli::RunRetrAsync() {
    ReceiveVerb = "RETR";
    if (!ControlUp) {
        ReportEngineError("RETR: not connected");
        return;
    }
    if (LocalFileName.empty() && !DisplayFileFlag) {
        ReportEngineError("LocalFileName empty");
        return;
    }
    if (!EnsureReady()) return;
    if (!ChainActive) FRequestType = ReceiveRequest(ReceiveVerb);
    LastStep = stepGet;
    DataStepNotBuilt(ReceiveVerb);
}

void TCustomFtpCli::RunListAsync() {
    ReceiveVerb = "LIST";
    if (!ControlUp) {
        ReportEngineError("LIST: not connected");
        return;
    }
    if (LocalFileName.empty() && !DisplayFileFlag) {
        ReportEngineError("LocalFileName empty");
        return;
    }
    if (!EnsureReady()) return;
    if (!ChainActive) FRequestType = ReceiveRequest(ReceiveVerb);
    LastStep = stepDir;
    DataStepNotBuilt(ReceiveVerb);
}

void TCustomFtpCli::RunNlstAsync() {
    ReceiveVerb = "NLST";
    if (!ControlUp) {
        ReportEngineError("NLST: not connected");
        return;
    }
    if (LocalFileName.empty() && !DisplayFileFlag) {
        ReportEngineError("LocalFileName empty");
        return;
    }
    if (!EnsureReady()) return;
    if (!ChainActive) FRequestType = ReceiveRequest(ReceiveVerb);
    LastStep = stepLs;
    DataStepNotBuilt(ReceiveVerb);
}

void TCustomFtpCli::RunStorAsync() {
    AppendMode = false;
    FRequestType = ftpPutAsync;
    if (!ControlUp) {
        ReportEngineError("STOR/APPE: not connected");
        return;
    }
    if (LocalFileName.empty()) {
        ReportEngineError("LocalFileName empty");
        return;
    }
    if (!EnsureReady()) return;
    LastStep = stepPut;
    DataStepNotBuilt("STOR");
}

void TCustomFtpCli::RunAppeAsync() {
    AppendMode = true;
    FRequestType = ftpAppendAsync;
    if (!ControlUp) {
        ReportEngineError("STOR/APPE: not connected");
        return;
    }
    if (LocalFileName.empty()) {
        ReportEngineError("LocalFileName empty");
        return;
    }
    if (!EnsureReady()) return;
    LastStep = stepAppend;
    DataStepNotBuilt("APPE");
}
