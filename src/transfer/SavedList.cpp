// The saved upload list: its view (text, scrolled list, buttons, totals and
// help icon) and the two radio buttons that choose between it and the
// explorer view.
#include "transfer/Unit1.h"

#include "base/Strings.h"
#include "toolkit/Dialogs.h"
#include "transfer/FormDesign.h"

void TFrmFTP::BuildSavedList() {
    Label9 = Make<TLabel>(this, this, "Label9");
    Label9->SetBounds(8, 8, 410, 54);
    Label9->SetFont(ArialFont());
    Label9->SetWordWrap(true);
    Label9->SetCaption(
        "Create a file list below. This list will always be saved so you can always just select the file instead of searching for it. This handy feature will also allow you to upload multiple files from many different folders.");
    Label9->SetVisible(false);

    ScrollBox1 = Make<TScrollBox>(this, this, "ScrollBox1");
    ScrollBox1->SetRange(800, 1200);
    ScrollBox1->SetScrollBarSize(10);
    ScrollBox1->SetVisibleArea(8, 64, 398, 242);
    ScrollBox1->SetVisible(false);

    ListBoxPC = Make<TListBox>(this, ScrollBox1, "ListBoxPC");
    ListBoxPC->SetBounds(0, 0, 800, 1200);
    ListBoxPC->SetFont(ArialFont(9));
    ListBoxPC->SetItemHeight(15);
    ListBoxPC->SetSorted(true);
    ListBoxPC->SetMultiSelect(true);
    ListBoxPC->SetHint("Add files here that you wish to upload to the server");
    ListBoxPC->OnClick = [this](TObject* s) { ListBoxPCClick(s); };
    SavedListMenu = new TPopupMenu(this);
    SavedListMenu->Add("Upload", [this](TObject* s) { Image5Click(s); });
    SavedListMenu->Add("Add...", [this](TObject* s) { CmdaddClick(s); });
    SavedListMenu->Add("Remove from the list", [this](TObject* s) { CmdRemClick(s); });
    SavedListMenu->AttachTo(ListBoxPC);

    GroupBox2 = Make<TGroupBox>(this, this, "GroupBox2");
    GroupBox2->SetBounds(8, 324, 410, 140);
    GroupBox2->SetFont(ArialFont());
    GroupBox2->SetVisible(false);
    auto button = [this](const char* name, int left, int width, const char* caption) {
        TButton* b = Make<TButton>(this, GroupBox2, name);
        b->SetBounds(left, 18, width, 25);
        b->SetCaption(caption);
        b->SetFont(ArialFont());
        return b;
    };
    Cmdadd = button("Cmdadd", 8, 70, "Add");
    CmdRem = button("CmdRem", 82, 70, "Remove");
    CmdClear = button("CmdClear", 156, 70, "Clear");
    CmdOpen = button("CmdOpen", 246, 150, "Open Highlighted File");
    CmdOpen->SetEnabled(false);
    Cmdadd->OnClick = [this](TObject* s) { CmdaddClick(s); };
    CmdRem->OnClick = [this](TObject* s) { CmdRemClick(s); };
    CmdClear->OnClick = [this](TObject* s) { CmdClearClick(s); };
    LblSelSize = Make<TLabel>(this, GroupBox2, "LblSelSize");
    LblSelSize->SetBounds(8, 60, 394, 16);
    LblSelSize->SetFont(ArialFont());
    LblTotalBytes = Make<TLabel>(this, GroupBox2, "LblTotalBytes");
    LblTotalBytes->SetBounds(8, 82, 394, 16);
    LblTotalBytes->SetFont(ArialFont());

    OpenDialog1 = new TOpenDialog(this);
    OpenDialog1->Name = "OpenDialog1";
    OpenDialog1->Filter =
        "All Files (*.*)|*.*|JPEG (*.JPG)|*.JPG;*.JPEG|GIF (*.GIF)|*.GIF|Bitmap (*.BMP)|*.BMP|HTML (*.HTML)|*.HTM;*.HTML|TEXT (*.TXT)|*.TXT";
    OpenDialog1->FilterIndex = 1;
    OpenDialog1->MultiSelect = false;

    // The choice of view sits in the middle column, below the transfer type.
    Panel2 = Make<TPanel>(this, this, "Panel2");
    Panel2->SetBounds(426, 262, 90, 76);
    Panel2->SetBevelOuter(bvLowered);
    RadExplorer = Make<TRadioButton>(this, Panel2, "RadExplorer");
    RadExplorer->SetBounds(6, 10, 18, 18);
    RadExplorer->OnClick = [this](TObject* s) { RadExplorerClick(s); };
    Label7 = Make<TLabel>(this, Panel2, "Label7");
    Label7->SetBounds(26, 6, 58, 30);
    Label7->SetFont(ArialFont());
    Label7->SetWordWrap(true);
    Label7->SetCaption("Explorer   View");
    RadSaved = Make<TRadioButton>(this, Panel2, "RadSaved");
    RadSaved->SetBounds(6, 46, 18, 18);
    RadSaved->OnClick = [this](TObject* s) { RadSavedClick(s); };
    LblSaved = Make<TLabel>(this, Panel2, "LblSaved");
    LblSaved->SetBounds(26, 42, 58, 30);
    LblSaved->SetFont(ArialFont());
    LblSaved->SetWordWrap(true);
    LblSaved->SetCaption("Saved    List");

    Image2 = Make<TImage>(this, this, "Image2");
    Image2->SetBounds(456, 346, 28, 28);
    Image2->SetPicture(piHelp);
    Image2->SetCursor(crHandPoint);
    Image2->OnClick = [this](TObject* s) { Image2Click(s); };
}

void TFrmFTP::RadExplorerClick(TObject*) {
    FileListBox1->SetVisible(true);
    DirectoryListBox1->SetVisible(true);
    DriveComboBox1->SetVisible(true);
    GroupBox4->SetVisible(true);
    Label9->SetVisible(false);
    Image2->SetVisible(false);
    GroupBox2->SetVisible(false);
    ScrollBox1->SetVisible(false);
}

void TFrmFTP::RadSavedClick(TObject*) {
    Label9->SetVisible(true);
    FileListBox1->SetVisible(false);
    DirectoryListBox1->SetVisible(false);
    DriveComboBox1->SetVisible(false);
    GroupBox4->SetVisible(false);
    Image2->SetVisible(true);
    GroupBox2->SetVisible(true);
    ScrollBox1->SetVisible(true);
    ListBoxPC->SetItemIndex(0);
}

void TFrmFTP::RefreshSavedListState() {
    if (ListBoxPC->Count() == 0) {
        CmdOpen->SetEnabled(false);
        return;
    }
    ListBoxPC->SetItemIndex(0);
    CmdOpen->SetEnabled(true);
    FileListBox1->SetItemIndex(0);
}

void TFrmFTP::RestoreLastDir() { OpenDialog1->InitialDir = Settings.ReadString("History", "Last Dir", ""); }

void TFrmFTP::StoreLastDir(const std::string& path) {
    const size_t slash = path.rfind('/');
    Settings.WriteString("History", "Last Dir", slash == std::string::npos ? std::string() : path.substr(0, slash + 1));
}

void TFrmFTP::CmdaddClick(TObject*) {
    RestoreLastDir();
    if (OpenDialog1->Execute() && !OpenDialog1->FileName().empty()) {
        ListBoxPC->Add(OpenDialog1->FileName());
        StoreLastDir(OpenDialog1->FileName());
    }
    RefreshSavedListState();
}

void TFrmFTP::CmdRemClick(TObject*) {
    ListBoxHide->Clear();
    for (int i = 0; i < ListBoxPC->Count(); ++i)
        if (!ListBoxPC->Selected(i)) ListBoxHide->Add(ListBoxPC->Strings(i));
    if (ListBoxHide->Count() == ListBoxPC->Count()) {
        ShowMessage(
            "You need to click and highlight a file in your list. Nothing is highlighted to be removed from the list.");
        return;
    }
    ListBoxPC->Clear();
    for (const std::string& path : ListBoxHide->Items()) ListBoxPC->Add(path);
    RefreshSavedListState();
}

void TFrmFTP::CmdClearClick(TObject*) {
    if (MessageDlg(
            "You have chosen to clear your entire file list (this will not delete the files but only removes them from the list). Click \"YES\" to confirm.",
            mtConfirmation, mbYes | mbCancel) != mrYes)
        return;
    ListBoxPC->Clear();
    RefreshSavedListState();
}

// The total is a 64-bit sum, so that files of several gigabytes add up to
// what they are. A listed file that is gone counts -1.
void TFrmFTP::ListBoxPCClick(TObject*) {
    int64_t total = 0;
    for (int i = 0; i < ListBoxPC->Count(); ++i) {
        if (!ListBoxPC->Selected(i)) continue;
        const std::string path = ListBoxPC->Strings(i);
        const int64_t size = GetLocalFileSize(path);
        total += size;
        LblSelSize->SetCaption(IntToStr(size) + " bytes " + "<-- " + path.substr(path.rfind('/') + 1));
        LblTotalBytes->SetCaption(IntToStr(total) + " bytes <-- Total Bytes Highlighted");
    }
}

void TFrmFTP::Image2Click(TObject*) {
    ShowMessage(
        "You can add any file types to your list and they will always remain in your list for easy uploading now or at a later date. You can also use the \"Select/Upload\" button to upload any file that is not in your saved list");
}
