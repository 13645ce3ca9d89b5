// ls and nlst: the listing goes through a temporary file and is copied out
// whole, line ends and blank lines as the server sent them.
#include "cli/Commands.h"

#include "cli/LocalFiles.h"

void TCommandRunner::List(const std::string& Folder, bool NamesOnly) {
    const std::string what = std::string(NamesOnly ? "nlst" : "ls") + (Folder.empty() ? "" : " " + Folder);
    TTempFile listing("", "tarnftp-list");
    if (!listing.Ok()) {
        S.Report(TExitStatus::LocalFile, what, listing.Error());
        return;
    }
    E.HostFileName = Folder;
    E.LocalFileName = listing.Path();
    E.DisplayFileFlag = false;
    if (!S.Call(NamesOnly ? &TCustomFtpCli::LsAsync : &TCustomFtpCli::DirAsync,
                TExitStatus::Refused)) {
        S.ReportFailure(what);
        return;
    }
    CopyOut(listing.Path(), what);
}
