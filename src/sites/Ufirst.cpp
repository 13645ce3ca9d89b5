#include "sites/Ufirst.h"

#include <memory>

#include "base/Strings.h"
#include "ftp/FtpUrl.h"
#include "platform/Folders.h"
#include "platform/ProgramPaths.h"
#include "platform/Shell.h"
#include "platform/SocketFacts.h"
#include "sites/Usettings.h"
#include "toolkit/Dialogs.h"

TFrmfirst* Frmfirst = nullptr;

namespace {

constexpr TColor kBackground = 15135218;

constexpr const char* kNameExistsEnd = "Delete the existing name or change the name so it is not the same.";
constexpr const char* kNeedNameAndSite =
    "You must enter a name and a website address to add. The name can be any name you wish to identify your site with, and the web address needs to be the actual website address. After adding, the name will appear on the list, and you can then FTP to and any name in your list.";
constexpr const char* kFileFull = "Please delete one of your entries before adding another";
constexpr const char* kNameInFile =
    "This name already exists in your list. Change the name if you wish to add a new name, or use the update button to update the name.";
constexpr const char* kNeedName =
    "You must have a name in the NAME box. Please click and select an item from your list. If your list is empty, you can use the ADD button to add new names and web addresses to the list.";
constexpr const char* kNameNotFound =
    "The NAME was not found. Use the ADD button to add a new name to the list. If you want to use the UPDATE or DELETE button, the name must already exist in the list.";
constexpr const char* kNeedPassword =
    "Please enter a password in the password box, then click \"Connect\". The password cannot be blank.";
constexpr const char* kSupportNotice =
    "Please send a detailed description of your question to support (if a problem occurred, please send a step by step instruction on what buttons you clicked that caused the problem, what server type you were connected to (Windows, Linux, Unix, etc) and what messages you received). ";
constexpr const char* kNoMailer =
    "You cannot view this file because you do not have a default email software setup. Please send your questions to support at ";
constexpr const char* kNoBrowser =
    "You cannot view this file because you do not have a default web browser setup. You can still view this file by opening your web browser and pointing to the file downloadpg.html which is located in your install directory, or view online at ";
constexpr const char* kPasswordTooLong =
    "The password is longer than 25 characters and cannot be saved in your list. Use a shorter password, or leave the password box to be filled in each time you connect.";
constexpr const char* kPasswordWithFiller =
    "The password contains a question mark (?), which cannot be saved in your list. Change the password, or leave the password box to be filled in each time you connect.";

template <class T>
T* Make(TForm* form, TControl* parent, const char* name) {
    T* control = new T(form, parent);
    control->Name = name;
    return control;
}

}  // namespace

TFrmfirst::TFrmfirst(TComponent* AOwner) : TForm(AOwner) {
    BuildControls();
    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnCloseQuery = [this](TObject* s, bool& c) { FormCloseQuery(s, c); };
}

void TFrmfirst::BuildControls() {
    Name = "Frmfirst";
    SetCaption("Tarnwick FTP");
    SetOuterSize(623, 407);
    Position = poScreenCenter;
    SetColor(kBackground);

    Label6 = Make<TLabel>(this, this, "Label6");
    Label6->SetBounds(12, 8, 599, 42);
    Label6->SetWordWrap(true);
    Label6->SetCaption(
        "Add your web addresses below. To connect, simply choose your site from your saved list, or enter a host address and click the connect button. (Hint: Right click or double click the box to paste directly into each box below.)");

    Panel1 = Make<TPanel>(this, this, "Panel1");
    Panel1->SetBevelOuter(bvLowered);
    Panel1->SetBounds(8, 56, 607, 343);

    ListBox1 = Make<TListBox>(this, Panel1, "ListBox1");
    ListBox1->SetSorted(true);
    ListBox1->SetBounds(8, 8, 190, 327);
    ListBox1->OnClick = [this](TObject* s) { ListBox1Click(s); };

    auto label = [this](const char* name, int left, int top, int width, const char* caption) {
        TLabel* l = Make<TLabel>(this, Panel1, name);
        l->SetBounds(left, top, width, 16);
        l->SetCaption(caption);
        return l;
    };
    auto edit = [this](const char* name, int left, int top, int width, int maxLength) {
        TEdit* e = Make<TEdit>(this, Panel1, name);
        e->SetBounds(left, top, width, 21);
        e->SetMaxLength(maxLength);
        return e;
    };
    Label3 = label("Label3", 210, 8, 385, "Site Name:  (This name will display in your saved list on the left) ");
    EdName = edit("EdName", 210, 24, 250, 30);
    EdName->SetCharCase(ecUpperCase);
    Label4 = label("Label4", 210, 54, 385, "Host Address: (Example: ftp.example.com, 192.168.0.1, etc.)");
    Edwebsite = edit("Edwebsite", 210, 70, 388, 255);
    Label5 = label("Label5", 210, 100, 385, "Additional Comments? ");
    EdComments = edit("EdComments", 210, 116, 388, 50);
    Label1 = label("Label1", 210, 146, 180, "User ID");
    EdUser = edit("EdUser", 210, 162, 186, 25);
    Label2 = label("Label2", 412, 146, 180, "Password");
    Edpwd = edit("Edpwd", 412, 162, 186, 0);
    Edpwd->SetPasswordChar('*');
    EdName->OnDblClick = [this](TObject* s) { EdNameDblClick(s); };
    Edwebsite->OnDblClick = [this](TObject* s) { EdwebsiteDblClick(s); };
    EdComments->OnDblClick = [this](TObject* s) { EdCommentsDblClick(s); };
    EdUser->OnDblClick = [this](TObject* s) { EdUserDblClick(s); };
    Edpwd->OnDblClick = [this](TObject* s) { EdpwdDblClick(s); };

    auto button = [this](const char* name, int left, int top, int width, const char* caption, TGlyph glyph,
                         const char* hint) {
        TBitBtn* b = Make<TBitBtn>(this, Panel1, name);
        b->SetBounds(left, top, width, 30);
        b->SetCaption(caption);
        b->SetGlyph(glyph);
        if (hint != nullptr) b->SetHint(hint);
        return b;
    };
    CmdDownload = button("CmdDownload", 210, 204, 94, "Connect", glConnect,
                         "After highlighting any name in your list, click to continue and connect");
    CmdAdd = button("CmdAdd", 308, 204, 94, "Add", glAdd,
                    "Click to add a new website, which is listed in the boxes above");
    CmdUpdate = button("CmdUpdate", 406, 204, 94, "Update", glUpdate,
                       "Click to update existing website information, which is listed in the boxes above ");
    CmdDelete = button("CmdDelete", 504, 204, 94, "Delete", glDelete,
                       "Click to remove any name from your list on the left");
    CmdMoreSoft = button("CmdMoreSoft", 210, 250, 143, "More Software", glWeb, nullptr);
    BitBtn1 = button("BitBtn1", 406, 300, 94, "Settings", glSettings, nullptr);
    BitBtn1->SetVisible(false);
    CmdExit = button("CmdExit", 504, 300, 94, "", glOk, nullptr);
    CmdExit->SetKind(bkOK);
    CmdExit->SetCaption("Ok");

    CmdSupport = Make<TButton>(this, Panel1, "CmdSupport");
    CmdSupport->SetBounds(357, 250, 143, 30);
    CmdSupport->SetCaption("Email Support");
    CmdSupport->SetTabStop(false);

    CmdDownload->OnClick = [this](TObject* s) { CmdDownloadClick(s); };
    CmdAdd->OnClick = [this](TObject* s) { CmdAddClick(s); };
    CmdUpdate->OnClick = [this](TObject* s) { CmdUpdateClick(s); };
    CmdDelete->OnClick = [this](TObject* s) { CmdDeleteClick(s); };
    CmdSupport->OnClick = [this](TObject* s) { CmdSupportClick(s); };
    CmdMoreSoft->OnClick = [this](TObject* s) { CmdMoreSoftClick(s); };
    CmdExit->OnClick = [this](TObject* s) { CmdExitClick(s); };
    BitBtn1->OnClick = [this](TObject* s) { BitBtn1Click(s); };

    SetTabOrder({EdName, Edwebsite, EdComments, EdUser, Edpwd, CmdDownload, CmdAdd, CmdUpdate, CmdDelete,
                 CmdMoreSoft, CmdExit, ListBox1});
}

void TFrmfirst::FormCreate(TObject*) {
    WindowsFolder = platform::GetWindowsFolder();
    SiteFilePath = WindowsFolder + "/" + "TARN25.DAT";
    SiteFile.Path = SiteFilePath;
    CreateOrLoad();
}

void TFrmfirst::CreateOrLoad() {
    if (!SiteFile.Exists()) {
        SiteFile.Create();
        return;
    }
    const std::int64_t stray = SiteFile.LoadAll([this](const TSiteRecord&) {
        ListBox1->Add(SiteFile.SiteBuffer.Name());
        ShowSiteRecord();
    });
    if (stray != 0)
        MessageDlg(Format("The site file %s is damaged: it ends with %lld bytes that do not make a whole record. Your saved sites before them were loaded; those bytes are left untouched.",
                          SiteFile.Path.c_str(), static_cast<long long>(stray)),
                   mtWarning, mbOK);
    if (ListBox1->Count() > 0) {
        ListBox1->SetItemIndex(0);
        ListBox1Click(ListBox1);
    }
}

void TFrmfirst::FormCloseQuery(TObject*, bool& CanClose) { CanClose = true; }

void TFrmfirst::ShowSiteRecord() {
    const TSiteRecord& r = SiteFile.SiteBuffer;
    EdName->SetText(r.Name());
    Edwebsite->SetText(r.Host());
    EdUser->SetText(r.User());
    EdComments->SetText(r.Comments());
    Edpwd->SetText(r.Password());
}

void TFrmfirst::FillSiteBuffer() {
    TSiteRecord& r = SiteFile.SiteBuffer;
    r.SetName(Trim(EdName->Text()));
    r.SetHost(Trim(Edwebsite->Text()));
    r.SetComments(Trim(EdComments->Text()));
    r.SetUser(Trim(EdUser->Text()));
    r.SetPassword(Edpwd->Text());
}

bool TFrmfirst::PasswordStorable() {
    const std::string password = Edpwd->Text();
    if (password.size() > TSiteRecord::kPasswordSize) {
        ShowMessage(kPasswordTooLong);
        return false;
    }
    if (password.find(TSiteRecord::kPasswordFiller) != std::string::npos) {
        ShowMessage(kPasswordWithFiller);
        return false;
    }
    return true;
}

void TFrmfirst::ListBox1Click(TObject*) {
    if (ListBox1->Count() == 0 || ListBox1->ItemIndex() < 0) return;
    if (SiteFile.FindByName(ListBox1->Strings(ListBox1->ItemIndex())) >= 0) ShowSiteRecord();
}

void TFrmfirst::StripUrlPrefix() {
    std::string host = Trim(Edwebsite->Text());
    const size_t at = host.find("http://");
    if (at == std::string::npos) return;
    host.erase(at, 7);
    Edwebsite->SetText(host);
}

void TFrmfirst::CmdAddClick(TObject*) {
    const std::string typed = EdName->Text();
    const std::string name = Trim(typed);
    for (int i = 0; i < ListBox1->Count(); ++i) {
        if (ListBox1->Strings(i) == name) {
            ShowMessage("The name " + typed + " already exists in your list. " + kNameExistsEnd);
            return;
        }
    }
    StripUrlPrefix();
    if (name.empty() || Trim(Edwebsite->Text()).empty()) {
        ShowMessage(kNeedNameAndSite);
        return;
    }
    if (!PasswordStorable()) return;
    int index = -1;
    switch (SiteFile.FindFreeRecord(name, index)) {
        case TSiteFile::frFull: ShowMessage(kFileFull); return;
        case TSiteFile::frDuplicate: MessageDlg(kNameInFile, mtConfirmation, mbOK); return;
        case TSiteFile::frFree: break;
    }
    FillSiteBuffer();
    SiteFile.WriteRecord(index);
    ListBox1->Add(SiteFile.SiteBuffer.Name());
}

void TFrmfirst::UpdateOrDeleteSite(char Mode) {
    StripUrlPrefix();
    const std::string name = Trim(EdName->Text());
    if (name.empty()) {
        ShowMessage(kNeedName);
        return;
    }
    if (Mode == 'U' && !PasswordStorable()) return;
    const int index = SiteFile.FindByName(name);
    if (index < 0) {
        ShowMessage(kNameNotFound);
        return;
    }
    if (Mode == 'U') {
        FillSiteBuffer();
        SiteFile.WriteRecord(index);
        ShowMessage(EdName->Text() + " has been successfully updated in your list.");
        return;
    }
    SiteFile.SiteBuffer.Clear();
    // The file first: a refused write leaves the list as the file is.
    SiteFile.WriteRecord(index);
    if (const int entry = ListBox1->IndexOf(name); entry >= 0) ListBox1->Delete(entry);
    ShowMessage(EdName->Text() + " has been successfully deleted from your list.");
}

void TFrmfirst::CmdUpdateClick(TObject*) { UpdateOrDeleteSite('U'); }

void TFrmfirst::CmdDeleteClick(TObject*) {
    UpdateOrDeleteSite('D');
    if (ListBox1->Count() > 0) ListBox1->SetItemIndex(0);
    ListBox1Click(ListBox1);
}

void TFrmfirst::CmdDownloadClick(TObject*) {
    if (!TakeUrlCredentials()) return;
    if (Trim(Edpwd->Text()).empty()) {
        ShowMessage(kNeedPassword);
        Edpwd->SetFocus();
        return;
    }
    if (OnHandOver) OnHandOver(Trim(EdUser->Text()), Trim(Edwebsite->Text()), Trim(Edpwd->Text()));
}

// The URL's own password is the one meant, whatever the password box held;
// once taken it is shown nowhere again.
bool TFrmfirst::TakeUrlCredentials() {
    const std::string host = Trim(Edwebsite->Text());
    if (!LooksLikeFtpUrl(host)) return true;
    TFtpUrl url;
    std::string error;
    if (!ParseFtpUrl(host, url, error)) {
        MessageDlg("Cannot connect: " + error + ".", mtError, mbOK);
        return false;
    }
    if (!url.HasPassword) return true;
    if (url.HasUser) EdUser->SetText(url.User);
    Edpwd->SetText(url.Password);
    Edwebsite->SetText(UrlWithoutPassword(host));
    return true;
}

void TFrmfirst::PasteInto(TEdit* edit) {
    edit->Clear();
    edit->PasteFromClipboard();
}

void TFrmfirst::EdNameDblClick(TObject*) { PasteInto(EdName); }
void TFrmfirst::EdwebsiteDblClick(TObject*) { PasteInto(Edwebsite); }
void TFrmfirst::EdCommentsDblClick(TObject*) { PasteInto(EdComments); }
void TFrmfirst::EdUserDblClick(TObject*) { PasteInto(EdUser); }
void TFrmfirst::EdpwdDblClick(TObject*) { PasteInto(Edpwd); }

void TFrmfirst::CmdSupportClick(TObject*) {
    ShowMessage(kSupportNotice);
    const std::string address = std::string("mailto:") + kSupportAddress + "?Subject=Tarnwick FTP Support";
    if (platform::ShellExecute("open", address, "", "", platform::SW_SHOWNORMAL) < 32)
        ShowMessage(std::string(kNoMailer) + kSupportAddress);
}

void TFrmfirst::CmdMoreSoftClick(TObject*) {
    const std::string page = platform::ShippedFile("download.htm");
    if (platform::ShellExecute("open", page, "", "", platform::SW_SHOWMAXIMIZED) < 32)
        ShowMessage(std::string(kNoBrowser) + kWebAddress);
}

void TFrmfirst::CmdExitClick(TObject*) { Close(); }

void TFrmfirst::BitBtn1Click(TObject*) {
    Frmsettings = new TFrmsettings(this);
    const std::unique_ptr<TFrmsettings> owned(Frmsettings);
    Frmsettings->LblWinsock->SetCaption("");
    std::string caption;
    for (const std::string& line : platform::SocketDetailLines()) caption += line + " ";
    Frmsettings->LblWinsock->SetCaption(caption);
    Frmsettings->ShowModal();
    Frmsettings = nullptr;
}
