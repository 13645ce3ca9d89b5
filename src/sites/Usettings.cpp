#include "sites/Usettings.h"

TFrmsettings* Frmsettings = nullptr;

namespace {
constexpr TColor kBackground = 15135218;
}

TFrmsettings::TFrmsettings(TComponent* AOwner) : TForm(AOwner) {
    SetCaption("Tarnwick FTP - Settings");
    SetOuterSize(544, 375);
    SetColor(kBackground);

    Label2 = new TLabel(this, this);
    Label2->Name = "Label2";
    Label2->SetBounds(16, 16, 505, 16);
    Label2->SetCaption("Your PC Winsock details are as follows:");

    LblWinsock = new TLabel(this, this);
    LblWinsock->Name = "LblWinsock";
    LblWinsock->SetAutoSize(false);
    LblWinsock->SetWordWrap(true);
    LblWinsock->SetBounds(16, 40, 505, 73);
}
