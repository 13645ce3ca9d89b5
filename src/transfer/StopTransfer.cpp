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
    // Esc while files move stops them (the button is shown only then); at
    // any other time it closes the window, as designed.
    SetCancelButton(CmdStop);
}

void TFrmFTP::CmdStopClick(TObject*) {
    if (!TransferRunning()) return;
    StopAsked = true;
    StopBatch();
    AddLogLine("Stopping the transfer...");
}

TFrmFTP::TStoppable::TStoppable(TFrmFTP& form, std::string stoppedLine)
    : Form(form), StoppedLine(std::move(stoppedLine)) {
    Form.StopAsked = false;
    Form.CmdStop->SetVisible(true);
}

TFrmFTP::TStoppable::~TStoppable() {
    // A batch shows Stop until its last file.
    if (Form.Batch == nullptr) Form.CmdStop->SetVisible(false);
    if (!Form.StopAsked) return;
    Form.StopAsked = false;
    Form.AddLogLine(StoppedLine);
}
