// TFrmfirst: the site manager, the program's first and main window.
//
// Shows the saved sites (a sorted list of names) and the chosen site's
// details in five boxes; adds, updates and deletes sites in "TARN25.DAT";
// hands a site to the transfer window on Connect. The hand-over itself is
// wired by the program (OnHandOver), so this window does not depend on the
// transfer window.
#pragma once

#include <functional>
#include <string>

#include "sites/SiteFile.h"
#include "toolkit/Buttons.h"
#include "toolkit/Containers.h"
#include "toolkit/Edit.h"
#include "toolkit/Form.h"
#include "toolkit/Label.h"
#include "toolkit/ListBox.h"

class TFrmfirst : public TForm {
public:
    static constexpr const char* kSupportAddress = "support@example.com";
    static constexpr const char* kWebAddress = "http://www.example.com/";

    explicit TFrmfirst(TComponent* AOwner);

    TLabel* Label6;
    TPanel* Panel1;
    TListBox* ListBox1;
    TLabel* Label3;
    TEdit* EdName;
    TLabel* Label4;
    TEdit* Edwebsite;
    TLabel* Label5;
    TEdit* EdComments;
    TLabel* Label1;
    TEdit* EdUser;
    TLabel* Label2;
    TEdit* Edpwd;
    TBitBtn* CmdDownload;
    TBitBtn* CmdAdd;
    TBitBtn* CmdUpdate;
    TBitBtn* CmdDelete;
    TButton* CmdSupport;
    TBitBtn* CmdMoreSoft;
    TBitBtn* CmdExit;
    TBitBtn* BitBtn1;

    void FormCreate(TObject* Sender);
    void FormCloseQuery(TObject* Sender, bool& CanClose);
    void ListBox1Click(TObject* Sender);
    void CmdAddClick(TObject* Sender);
    void CmdUpdateClick(TObject* Sender);
    void CmdDeleteClick(TObject* Sender);
    void CmdDownloadClick(TObject* Sender);
    void EdNameDblClick(TObject* Sender);
    void EdwebsiteDblClick(TObject* Sender);
    void EdCommentsDblClick(TObject* Sender);
    void EdUserDblClick(TObject* Sender);
    void EdpwdDblClick(TObject* Sender);
    void CmdSupportClick(TObject* Sender);
    void CmdMoreSoftClick(TObject* Sender);
    void CmdExitClick(TObject* Sender);
    void BitBtn1Click(TObject* Sender);

    void StripUrlPrefix();
    void UpdateOrDeleteSite(char Mode);
    // Copies SiteBuffer into the five boxes.
    void ShowSiteRecord();

    // The hand-over to the transfer window: trimmed user, host and password.
    std::function<void(const std::string& User, const std::string& Host, const std::string& Password)> OnHandOver;

    // The file and its one record buffer.
    TSiteFile SiteFile;

private:
    void BuildControls();
    void CreateOrLoad();
    // Fills SiteBuffer from the boxes (only the fields a write sets).
    void FillSiteBuffer();
    // A password the record cannot hold; shows why and answers false.
    bool PasswordStorable();
    // A pasted ftp:// URL with a password: its user and password go to their
    // boxes and the host box keeps the URL without the password. False (said
    // in a box) for a URL that cannot be used.
    bool TakeUrlCredentials();
    void PasteInto(TEdit* edit);
};

extern TFrmfirst* Frmfirst;
