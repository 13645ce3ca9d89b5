// The server session: the log, the Connect button, the hidden edits through
// which a site arrives, and Timer1, the delayed connect.
#include "transfer/Unit1.h"

#include "transfer/FormDesign.h"

void TFrmFTP::BuildSession() {
    Label1 = Make<TLabel>(this, this, "Label1");
    Label1->SetBounds(522, 300, 80, 16);
    Label1->SetFont(ArialFont());
    Label1->SetCaption("Log Status:");

    ListInfo = Make<TListBox>(this, this, "ListInfo");
    ListInfo->SetBounds(522, 316, 230, 148);
    ListInfo->SetFont(ArialFont());
    ListInfo->SetColor(kFormColor);
    ListInfo->SetItemHeight(13);

    CmdConnect = Make<TBitBtn>(this, this, "CmdConnect");
    CmdConnect->SetBounds(758, 398, 136, 30);
    CmdConnect->SetCaption("Connect");
    CmdConnect->SetFont(ArialFont());
    CmdConnect->SetGlyph(glConnect);

    auto hiddenEdit = [this](const char* name) {
        TEdit* edit = Make<TEdit>(this, this, name);
        edit->SetVisible(false);
        return edit;
    };
    EdServer = hiddenEdit("EdServer");
    EdServer->SetText("ftp.example.com");
    EdUserID = hiddenEdit("EdUserID");
    EdPassword = hiddenEdit("EdPassword");

    Timer1 = new TTimer(this);
    Timer1->Name = "Timer1";
    Timer1->SetEnabled(false);
    Timer1->SetInterval(500);
    Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };
}

void TFrmFTP::AddLogLine(const std::string& text) {
    ListInfo->Add(text);
    ListInfo->SetItemIndex(ListInfo->Count() - 1);
}

// One shot, about 500 ms after the hand-over shows the window. The connect
// toggle's engine calls (host, user and password handed to FtpClient1, then
// Connect) follow these log lines once the engine exists.
void TFrmFTP::Timer1Timer(TObject*) {
    Timer1->SetEnabled(false);
    ListInfo->Add("Connecting to server " + EdServer->Text());
    AddLogLine("Please be patient...");
}
