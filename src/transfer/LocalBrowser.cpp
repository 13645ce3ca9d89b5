// The local browser: drive box, folder list and file list of the explorer
// view, with their group of buttons, filter and information labels.
//
// Every name taken from the lists or typed by the user is resolved in the
// folder the lists show, never through the process's current folder (a file
// dialog may have moved that elsewhere). Typed names must be one level of a
// path, so that no answer can reach outside the shown folder.
#include "transfer/Unit1.h"

#include "base/Strings.h"
#include "platform/DateFormat.h"
#include "platform/LocalFiles.h"
#include "platform/Shell.h"
#include "toolkit/Dialogs.h"
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
    FileListBox1->OnClick = [this](TObject* s) { FileListBox1Click(s); };
    FileListBox1->OnDblClick = [this](TObject* s) { FileListBox1DblClick(s); };

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
    CmdHostCreate->OnClick = [this](TObject* s) { CmdHostCreateClick(s); };
    BitBtn3->OnClick = [this](TObject* s) { BitBtn3Click(s); };
    CmdHostDel->OnClick = [this](TObject* s) { CmdHostDelClick(s); };
    CmdHostRen->OnClick = [this](TObject* s) { CmdHostRenClick(s); };
    CmdHostView->OnClick = [this](TObject* s) { CmdHostViewClick(s); };

    Label2 = Make<TLabel>(this, GroupBox4, "Label2");
    Label2->SetBounds(8, 56, 34, 16);
    Label2->SetFont(ArialFont());
    Label2->SetCaption("Filter:");
    EdFilter = Make<TEdit>(this, GroupBox4, "EdFilter");
    EdFilter->SetBounds(44, 52, 150, 22);
    EdFilter->SetFont(ArialFont());
    EdFilter->OnChange = [this](TObject* s) { EdFilterChange(s); };

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
    LblCount->SetCaption("Total Files = " + IntToStr(FileListBox1->Count()));
    LblSelected->SetCaption("Total Highlighted = 0");
    EdFilter->SetText("");
}

// The names in the file list were read from its folder; that folder, not a
// folder list that may have moved on without it, is where they are.
std::string TFrmFTP::ShownFile(const std::string& name) const {
    return platform::JoinPath(FileListBox1->Directory(), name);
}

int64_t TFrmFTP::GetLocalFileSize(const std::string& path) {
    platform::FileFacts facts;
    return platform::GetFileFacts(path, facts) ? facts.Size : -1;
}

void TFrmFTP::FileListBox1Click(TObject*) {
    const int focused = FileListBox1->ItemIndex();
    if (focused >= 0 && FileListBox1->Selected(focused)) {
        const std::string name = FileListBox1->Strings(focused);
        const std::string path = ShownFile(name);
        LblFileName->SetCaption("File Name: " + name);
        LblFileSize->SetCaption("File Size: " + IntToStr(GetLocalFileSize(path)) + " Bytes");
        // A file that vanished has no date: that label keeps its old text.
        platform::FileFacts facts;
        const std::string date = platform::GetFileFacts(path, facts) ? platform::DateTimeToStr(facts.LastWrite) : "";
        if (!date.empty()) LblFileLastMod->SetCaption("File Last Modified: " + date);
    }
    LblSelected->SetCaption("Total Highlighted = " + IntToStr(FileListBox1->SelCount()));
}

void TFrmFTP::FileListBox1DblClick(TObject* Sender) { CmdHostViewClick(Sender); }

// The shell's answer is not looked at: a file without a program to open it
// simply stays closed.
void TFrmFTP::CmdHostViewClick(TObject*) {
    const int focused = FileListBox1->ItemIndex();
    if (FileListBox1->Count() == 0 || focused < 0) return;
    platform::ShellExecute("open", ShownFile(FileListBox1->Strings(focused)), "", "", platform::SW_SHOWNORMAL);
}

void TFrmFTP::CmdHostCreateClick(TObject*) {
    std::string name;
    if (!InputQuery("Create New Directory", "Enter the directory name:", name)) return;
    if (!platform::IsPlainName(name) || !platform::MakeFolder(ShownFile(name))) {
        ShowMessage(
            "The directory could not be created. Make sure the directory does not already exist, and make sure you have authority to create directories.");
        return;
    }
    // The folder exists from here on; a failure to show it is the folder
    // list's own error, not a failed creation.
    DirectoryListBox1->Update();
    ShowMessage("The directory " + name + " was created.");
}

// Only a subfolder entry names a folder inside the shown one; the levels of
// the path above it (and the shown folder itself) are refused, so that a
// level's name can never remove a same-named folder elsewhere.
void TFrmFTP::BitBtn3Click(TObject*) {
    const int index = DirectoryListBox1->ItemIndex();
    const std::string name = DirectoryListBox1->Strings(index);
    const std::string path = DirectoryListBox1->ItemPath(index);
    const bool subfolder = index >= 0 && platform::IsPlainName(name) &&
                           path == platform::JoinPath(DirectoryListBox1->Directory(), name);
    if (!subfolder || !platform::RemoveFolder(path)) {
        ShowMessage(
            "The directory must be empty before it can be deleted. If the folder is empty, make sure you are highlighting the correct FOLDER in the list above.");
        return;
    }
    DirectoryListBox1->Update();
    ShowMessage("The directory was deleted");
}

// The names are taken before the confirmation box: what is deleted is what
// the user saw highlighted and agreed to, even if the list is re-read while
// the box is open.
void TFrmFTP::CmdHostDelClick(TObject*) {
    if (FileListBox1->Count() == 0) {
        ShowMessage("There are no files in the list above.");
        return;
    }
    const int highlighted = FileListBox1->SelCount();
    if (highlighted == 0) {
        ShowMessage(
            "No file is selected in your list. Click and highlight any files you wish to delete from the box above. (You can also hold the CTRL key down to select multiple items from your list).");
        return;
    }
    HiddenListBox->Clear();
    for (int i = 0; i < FileListBox1->Count(); ++i)
        if (FileListBox1->Selected(i)) HiddenListBox->Add(ShownFile(FileListBox1->Strings(i)));
    if (MessageDlg("You are about to delete the " + IntToStr(highlighted) +
                       " file(s) you have highlighted above. Click OK to delete.",
                   mtConfirmation, mbOKCancel) != mrOk) {
        HiddenListBox->Clear();
        ShowMessage("Nothing deleted.");
        return;
    }
    // A file that cannot be deleted (write-protected, gone) is passed over
    // silently; the re-read list still shows it.
    for (const std::string& path : HiddenListBox->Items()) platform::DeleteFile(path);
    HiddenListBox->Clear();
    FileListBox1->Update();
    LblCount->SetCaption("Total Files = " + IntToStr(FileListBox1->Count()));
    FileListBox1->SetItemIndex(0);
}

// The focused entry is renamed, whichever entries are highlighted.
void TFrmFTP::CmdHostRenClick(TObject*) {
    const int focused = FileListBox1->ItemIndex();
    if (FileListBox1->Count() == 0 || FileListBox1->SelCount() == 0 || focused < 0) {
        ShowMessage("There is no file selected to rename. Highlight any file is the list above to rename it.");
        return;
    }
    const std::string folder = FileListBox1->Directory();
    std::string name = FileListBox1->Strings(focused);
    const std::string from = platform::JoinPath(folder, name);
    if (!InputQuery("Rename File", "Enter the new files name:", name)) return;
    // Never over another file: the system's rename would replace it.
    if (!platform::IsPlainName(name) || !platform::RenameFile(from, platform::JoinPath(folder, name))) {
        ShowMessage(
            "The file could not be renamed. Make sure another file in this folder does not already have this name.");
        return;
    }
    FileListBox1->Update();
}

// Narrows what the list shows; only a re-read brings entries back.
void TFrmFTP::EdFilterChange(TObject*) {
    const std::string filter = Trim(EdFilter->Text());
    if (filter.empty()) return;
    for (int i = FileListBox1->Count() - 1; i >= 0; --i)
        if (FileListBox1->Strings(i).find(filter) == std::string::npos) FileListBox1->Delete(i);
    FileListBox1->SetItemIndex(0);
}
