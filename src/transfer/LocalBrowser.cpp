// The local browser: drive box, folder list and file list of the explorer
// view, with their group of buttons, filter and information labels.
#include "transfer/Unit1.h"

#include "transfer/FormDesign.h"

void TFrmFTP::BuildLocalBrowser() {
    DriveComboBox1 = Make<TDriveComboBox>(this, this, "DriveComboBox1");
    DriveComboBox1->SetBounds(8, 8, 200, 22);
    DriveComboBox1->SetFont(ArialFont());
    DriveComboBox1->OnChange = [this](TObject* s) { DriveComboBox1Change(s); };

    DirectoryListBox1 = Make<TDirectoryListBox>(this, this, "DirectoryListBox1");
    DirectoryListBox1->SetBounds(8, 34, 200, 200);
    DirectoryListBox1->SetFont(ArialFont());
    DirectoryListBox1->OnChange = [this](TObject* s) { DirectoryListBox1Change(s); };

    FileListBox1 = Make<TFileListBox>(this, this, "FileListBox1");
    FileListBox1->SetBounds(214, 8, 204, 226);
    FileListBox1->SetFont(ArialFont());
    FileListBox1->SetMultiSelect(true);
    FileListBox1->SetMask("*.*");

    GroupBox4 = Make<TGroupBox>(this, this, "GroupBox4");
    GroupBox4->SetBounds(8, 238, 410, 226);
    GroupBox4->SetFont(ArialFont());

    auto button = [this](const char* name, int left, const char* caption) {
        TButton* b = Make<TButton>(this, GroupBox4, name);
        b->SetBounds(left, 16, 76, 25);
        b->SetCaption(caption);
        b->SetFont(ArialFont());
        return b;
    };
    CmdHostCreate = button("CmdHostCreate", 8, "Make Dir");
    BitBtn3 = button("BitBtn3", 88, "Remove Dir");
    CmdHostDel = button("CmdHostDel", 168, "Delete File");
    CmdHostRen = button("CmdHostRen", 248, "Rename File");
    CmdHostView = button("CmdHostView", 328, "Open");

    Label2 = Make<TLabel>(this, GroupBox4, "Label2");
    Label2->SetBounds(8, 56, 34, 16);
    Label2->SetFont(ArialFont());
    Label2->SetCaption("Filter:");
    EdFilter = Make<TEdit>(this, GroupBox4, "EdFilter");
    EdFilter->SetBounds(44, 52, 150, 22);
    EdFilter->SetFont(ArialFont());

    auto infoLabel = [this](const char* name, int left, int top, int width, const TFont& font) {
        TLabel* l = Make<TLabel>(this, GroupBox4, name);
        l->SetBounds(left, top, width, 16);
        l->SetFont(font);
        return l;
    };
    LblCount = infoLabel("LblCount", 208, 52, 190, ArialFont(8, true));
    LblSelected = infoLabel("LblSelected", 208, 70, 190, ArialFont(8, true));
    LblFileName = infoLabel("LblFileName", 8, 100, 394, NamedFont("Courier New", 8, true));
    LblFileSize = infoLabel("LblFileSize", 8, 120, 394, NamedFont("Courier New", 8, true));
    LblFileLastMod = infoLabel("LblFileLastMod", 8, 140, 394, NamedFont("Courier New", 8, true));

    HiddenListBox = Make<TListBox>(this, this, "HiddenListBox");
    HiddenListBox->SetVisible(false);
    ListBoxHide = Make<TListBox>(this, this, "ListBoxHide");
    ListBoxHide->SetVisible(false);
}

void TFrmFTP::DriveComboBox1Change(TObject*) { DirectoryListBox1->SetDrive(DriveComboBox1->Drive()); }

void TFrmFTP::DirectoryListBox1Change(TObject*) {
    FileListBox1->SetDirectory(DirectoryListBox1->Directory());
    LblCount->SetCaption("Total Files = " + std::to_string(FileListBox1->Count()));
    LblSelected->SetCaption("Total Highlighted = 0");
    EdFilter->SetText("");
}
