// Files already there: a download never silently replaces a local file of
// the same name, nor an upload a remote one.
#include "transfer/Unit1.h"

#include <sys/stat.h>

#include "toolkit/Dialogs.h"
#include "tree/TreeTypes.h"
#include "tree/TreeWalk.h"

namespace {

// Return picks Skip: the safe answer when the box is dismissed in a hurry.
TExistingChoice AskExisting(const std::string& name, const std::string& where) {
    const TModalResult answer = MessageDlg(
        "\"" + name + "\" is already in " + where +
            ". Overwrite it, skip this file, or keep both by storing the new one under a free name (Rename)?",
        mtConfirmation, mbYes | mbNo | mbIgnore, {{mbYes, "Overwrite"}, {mbNo, "Skip"}, {mbIgnore, "Rename"}}, mbNo);
    if (answer == mrYes) return TExistingChoice::Overwrite;
    if (answer == mrIgnore) return TExistingChoice::Rename;
    return TExistingChoice::Skip;
}

bool LocalExists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

}  // namespace

bool TFrmFTP::ChooseLocalName(std::string& name) {
    if (!LocalExists(ShownFile(name))) return true;
    switch (AskExisting(name, "the local folder " + FileListBox1->Directory())) {
        case TExistingChoice::Overwrite: return true;
        case TExistingChoice::Rename: {
            std::string free;
            for (int n = 1; free.empty() || LocalExists(ShownFile(free)); ++n) free = NumberedName(name, n);
            AddLogLine("\"" + name + "\" is already in the local folder: the download is stored as \"" + free + "\".");
            name = free;
            return true;
        }
        default:
            AddLogLine("\"" + name + "\" is already in the local folder: not downloaded.");
            return false;
    }
}

bool TFrmFTP::RemoteListHas(const std::string& name) const {
    for (int i = 1; i <= RemoteCount; ++i)
        if (RemoteEntries.Name[static_cast<size_t>(i)] == name) return true;
    return false;
}

bool TFrmFTP::ChooseRemoteName(std::string& name) {
    if (!RemoteListHas(name)) return true;
    switch (AskExisting(name, "the remote folder " + LblRemoteDir->Caption())) {
        case TExistingChoice::Overwrite: return true;
        case TExistingChoice::Rename: {
            std::string free;
            for (int n = 1; free.empty() || RemoteListHas(free); ++n) free = NumberedName(name, n);
            AddLogLine("\"" + name + "\" is already in the remote folder: the upload is stored as \"" + free + "\".");
            name = free;
            return true;
        }
        default:
            AddLogLine("\"" + name + "\" is already in the remote folder: not uploaded.");
            return false;
    }
}
