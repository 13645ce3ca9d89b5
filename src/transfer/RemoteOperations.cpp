// Remote file operations: the four server buttons and the scratch list of
// names chosen for deletion.
//
// Each handler asks, sets the engine's names and runs one synchronous call;
// the completion table reports the server's answer and refreshes the list.
// A handler's own message appears only when one of its own steps fails.
#include "transfer/Unit1.h"

#include <stdexcept>

#include "base/Exceptions.h"
#include "toolkit/Dialogs.h"
#include "transfer/FormDesign.h"

void TFrmFTP::BuildRemoteOperations() {
    auto button = [this](const char* name, int left, const char* caption) {
        TBitBtn* b = Make<TBitBtn>(this, GroupBox3, name);
        b->SetBounds(left, 14, 88, 26);
        b->SetCaption(caption);
        b->SetFont(NamedFont("Times New Roman"));
        return b;
    };
    CmdServCreate = button("CmdServCreate", 6, "Make Dir");
    CmdServRemDir = button("CmdServRemDir", 97, "Remove Dir");
    CmdServDel = button("CmdServDel", 188, "Delete File");
    CmdServRen = button("CmdServRen", 279, "Rename File");
    CmdServCreate->OnClick = [this](TObject* s) { CmdServCreateClick(s); };
    CmdServRemDir->OnClick = [this](TObject* s) { CmdServRemDirClick(s); };
    CmdServDel->OnClick = [this](TObject* s) { CmdServDelClick(s); };
    CmdServRen->OnClick = [this](TObject* s) { CmdServRenClick(s); };

    ListInvis = Make<TListBox>(this, this, "ListInvis");
    ListInvis->SetVisible(false);
}

namespace {

// Raised by a handler's own step; reported with that handler's message.
class EOwnStep : public Exception {
public:
    using Exception::Exception;
};

}  // namespace

// The name is sent as typed: an empty one too, and a path.
void TFrmFTP::CmdServCreateClick(TObject*) {
    AddLogLine("Requesting to MAKE a new DIRECTORY...");
    try {
        std::string name;
        if (!InputQuery("Create New Directory", "Enter the directory name:", name)) return;
        if (!FitsOneCommand(name)) throw EOwnStep("directory name");
        if (!EngineTakesRequest() || !SetRequestNames({.HostFileName = name})) return;
        AddLogLine("Issuing commands...");
        FtpClient1->Mkd();
        RefreshRemoteList();
    } catch (const std::exception&) {
        ShowMessage(
            "The directory could not be created. Make sure the directory does not already exist, and make sure you have authority to create directories.");
    }
}

// The name is read before the question, for the same reason as in a rename.
void TFrmFTP::CmdServRemDirClick(TObject*) {
    AddLogLine("Requesting to REMOVE a DIRECTORY...");
    if (ListView1->SelCount() == 0) {
        ShowMessage("Click and highlight any file above that you wish to delete, then click the delete button.");
        return;
    }
    try {
        const int focused = ListView1->ItemFocused();
        if (focused < 0) throw EOwnStep("no focused row");
        const std::string name = ListView1->Caption(focused);
        if (!FitsOneCommand(name)) throw EOwnStep("directory name");
        if (MessageDlg("You sure you want to remove " + name + "?", mtConfirmation, mbYesNo) != mrYes) return;
        if (!EngineTakesRequest() || !SetRequestNames({.HostFileName = name})) return;
        FtpClient1->Rmd();
        RefreshRemoteList();
    } catch (const std::exception&) {
        ShowMessage(
            "This directory cannot be removed. The directory must be empty before you can remove this. Delete the items out of the directory first, then remove the directory. Also make sure you have authority to remove this directory.");
    }
}

// The old name is the one the box proposed, read before it opens: a listing
// that arrives while the box is open rebuilds the view and its focus.
void TFrmFTP::CmdServRenClick(TObject*) {
    AddLogLine("Requesting to RENAME a file...");
    if (ListView1->SelCount() == 0) {
        ShowMessage("You must first click and highlight a file to be renamed.");
        return;
    }
    try {
        const int focused = ListView1->ItemFocused();
        if (focused < 0) throw EOwnStep("no focused row");
        const std::string oldName = ListView1->Caption(focused);
        std::string newName = oldName;
        if (!InputQuery("Rename File", "Enter the new files name:", newName)) return;
        if (!FitsOneCommand(oldName) || !FitsOneCommand(newName)) throw EOwnStep("file name");
        if (!EngineTakesRequest() ||
            !SetRequestNames({.HostDirName = LblRemoteDir->Caption(), .HostFileName = oldName, .LocalFileName = newName}))
            return;
        FtpClient1->Ren();
    } catch (const std::exception&) {
        ShowMessage(
            "This file cannot be renamed. Make sure you have chosen a file to rename, not a folder. Also make sure you have authority to rename this file.");
    }
}

// The names are gathered before the first DELE: every DELE's completion
// rebuilds the list view while the loop still runs.
void TFrmFTP::CmdServDelClick(TObject*) {
    AddLogLine("Requesting to DELETE a file...");
    if (ListView1->SelCount() == 0) {
        ShowMessage("Click and highlight any file above that you wish to delete, then click the delete button.");
        return;
    }
    try {
        if (MessageDlg("You sure you want to delete the item(s) you chose? ", mtConfirmation, mbYesNo) != mrYes)
            return;
        ListInvis->Clear();
        for (int i = 0; i < ListView1->Count(); ++i)
            if (ListView1->Selected(i)) ListInvis->Add(ListView1->Caption(i));
        // A name that would split its command sends nothing at all.
        for (const std::string& name : ListInvis->Items())
            if (!FitsOneCommand(name)) throw EOwnStep("file name");
        for (const std::string& name : ListInvis->Items()) {
            if (!EngineTakesRequest() ||
                !SetRequestNames({.HostDirName = LblRemoteDir->Caption(), .HostFileName = name}))
                break;
            LastDeletedName = name;
            FtpClient1->Dele();
        }
    } catch (const std::exception&) {
        ShowMessage(
            "The file could not be deleted. Make sure the file exists and is accessible on the server. Also make sure you have highlighted a FILE to be deleted.");
    }
}
