// TFrmFTP: the transfer window. Created hidden at start-up, shown modally by
// the site manager's Connect, hidden again when closed, destroyed with the
// application.
//
// So far this holds what start-up and the hand-over need: the three hidden
// edits through which a site arrives, Timer1 (500 ms, started by the
// hand-over; its handler disables it and runs the connect toggle) and the
// window's paths. Each further concern of the window goes into its own
// source file beside this one, declared here.
#pragma once

#include <string>

#include "toolkit/Edit.h"
#include "toolkit/Form.h"
#include "toolkit/Timer.h"

class TFrmFTP : public TForm {
public:
    explicit TFrmFTP(TComponent* AOwner);

    // Not visible: the site handed over by the site manager.
    TEdit* EdServer;
    TEdit* EdUserID;
    TEdit* EdPassword;
    TTimer* Timer1;
    // FtpClient1 (TFtpClient, owned by this window) joins here once the
    // engine exists in src/ftp.

    void FormCreate(TObject* Sender);
    void Timer1Timer(TObject* Sender);
    void RefreshSavedListState();

    // The hand-over from the site manager: fills the hidden edits, refreshes
    // the saved-list state, starts Timer1 and shows the window modally.
    void HandOver(const std::string& User, const std::string& Host, const std::string& Password);
};

extern TFrmFTP* FrmFTP;
