// Stopping a running transfer: a transfer started by mistake need not be
// waited out. The engine ends it through its progress hook.
#include "transfer/Unit1.h"

#include <utility>

#include "transfer/FormDesign.h"

void TFrmFTP::BuildStop() {
    CmdStop = Make<TButton>(this, this, "CmdStop");
    CmdStop->SetBounds(758, 392, 75, 25);
    CmdStop->SetCaption("Stop");
    CmdStop->SetFont(ArialFont());
    CmdStop->SetVisible(false);
    CmdStop->OnClick = [this](TObject* s) { CmdStopClick(s); };
}

void TFrmFTP::CmdStopClick(TObject*) {
    if (!TransferRunning()) return;
    StopAsked = true;
    AddLogLine("Stopping the transfer...");
}

TFrmFTP::TStoppable::TStoppable(TFrmFTP& form, std::string name, bool download)
    : Form(form), Name(std::move(name)), Download(download) {
    Form.StopAsked = false;
    Form.CmdStop->SetVisible(true);
}

TFrmFTP::TStoppable::~TStoppable() {
    Form.CmdStop->SetVisible(false);
    if (!Form.StopAsked) return;
    Form.StopAsked = false;
    Form.AddLogLine(Download ? "Stopped: \"" + Name + "\" was not downloaded; the local folder is as it was."
                             : "Stopped: \"" + Name + "\" was not uploaded whole; the server may keep the part that arrived.");
}
