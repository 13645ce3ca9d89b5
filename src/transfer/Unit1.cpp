#include "transfer/Unit1.h"

#include "platform/ProgramPaths.h"

TFrmFTP* FrmFTP = nullptr;

namespace {
constexpr TColor kBackground = 15135218;
}

TFrmFTP::TFrmFTP(TComponent* AOwner) : TForm(AOwner) {
    Name = "FrmFTP";
    SetCaption("Tarnwick FTP");
    SetOuterSize(902, 473);
    SetColor(kBackground);

    auto hiddenEdit = [this](const char* name) {
        TEdit* edit = new TEdit(this, this);
        edit->Name = name;
        edit->SetVisible(false);
        return edit;
    };
    EdServer = hiddenEdit("EdServer");
    EdUserID = hiddenEdit("EdUserID");
    EdPassword = hiddenEdit("EdPassword");

    Timer1 = new TTimer(this);
    Timer1->Name = "Timer1";
    Timer1->SetEnabled(false);
    Timer1->SetInterval(500);
    Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };

    OnCreate = [this](TObject* s) { FormCreate(s); };
}

void TFrmFTP::FormCreate(TObject*) {
    WindowsFolder = platform::GetWindowsFolder();
    SettingsFilePath = WindowsFolder + "/" + "TarnFtp.ini";
    ListingFile = WindowsFolder + "/ftptemp.txt";
}

void TFrmFTP::Timer1Timer(TObject*) {
    Timer1->SetEnabled(false);
    // The connect toggle runs here once the session exists.
}

void TFrmFTP::RefreshSavedListState() {}

void TFrmFTP::HandOver(const std::string& User, const std::string& Host, const std::string& Password) {
    EdUserID->SetText(User);
    EdServer->SetText(Host);
    EdPassword->SetText(Password);
    RefreshSavedListState();
    Timer1->SetEnabled(true);
    ShowModal();
}
