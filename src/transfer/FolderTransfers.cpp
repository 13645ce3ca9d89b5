// Several entries at once: the context menus of the lists, drops onto them,
// and DOWNLOAD on a folder row. Folders move whole through the folder
// transfer (src/tree); files through the single-file routines. The lists are
// read again once, at the end.
#include "transfer/Unit1.h"

#include <cmath>

#include <sys/stat.h>

#include "platform/LocalFiles.h"
#include "platform/Messages.h"
#include "toolkit/DragDrop.h"
#include "transfer/FormDesign.h"
#include "transfer/WindowTreeRemote.h"
#include "tree/TreeTransfer.h"
#include "tree/TreeWalk.h"

class TFrmFTP::TTransferBatch {
public:
    explicit TTransferBatch(TFrmFTP& form) : Form(form) {
        Form.Batch = this;
        Form.StandingChoice.reset();
        Form.StopAsked = false;
        Form.CmdStop->SetVisible(true);
        Form.SetBusy();
    }
    ~TTransferBatch() {
        Form.Batch = nullptr;
        Form.StopAsked = false;
        Form.CmdStop->SetVisible(false);
        Form.ResetProgress();
        Form.ClearBusy();
    }
    TTransferBatch(const TTransferBatch&) = delete;
    TTransferBatch& operator=(const TTransferBatch&) = delete;

    // Counts a single file's end by its request's result (-1: none ran, as
    // for a file skipped, which the question's answer has logged).
    void FileEnded(const std::string& name, bool upload) {
        if (Form.TransferResult == 0) {
            ++Moved;
        } else if (Form.TransferResult > 0) {
            ++Failed;
            Form.AddLogLine(std::string(upload ? "Not uploaded: " : "Not downloaded: ") + name + ": " +
                            Form.FtpClient1->ErrorMessage());
        } else {
            ++Skipped;
        }
    }
    bool Going() const { return !Stopped && Form.FtpClient1->Connected(); }

    TFrmFTP& Form;
    bool Stopped = false;
    TTreeTransfer* Tree = nullptr;
    std::function<void(std::int64_t)> FilePosition;
    int Moved = 0, Skipped = 0, Failed = 0;
};

void TFrmFTP::BuildFolderTransfers() {
    RemoteMenu = new TPopupMenu(this);
    RemoteMenu->Add("Download", [this](TObject*) { DownloadRows(SelectedRows()); });
    RemoteMenu->AttachTo(ListView1);
    LocalFilesMenu = new TPopupMenu(this);
    LocalFilesMenu->Add("Upload", [this](TObject*) {
        std::vector<std::string> paths;
        for (int i = 0; i < FileListBox1->Count(); ++i)
            if (FileListBox1->Selected(i)) paths.push_back(ShownFile(FileListBox1->Strings(i)));
        UploadPaths(paths);
    });
    LocalFilesMenu->AttachTo(FileListBox1);
    LocalFoldersMenu = new TPopupMenu(this);
    LocalFoldersMenu->Add("Upload", [this](TObject*) {
        const int index = DirectoryListBox1->ItemIndex();
        if (index >= 0) UploadPaths({DirectoryListBox1->ItemPath(index)});
    });
    LocalFoldersMenu->AttachTo(DirectoryListBox1);

    // Files from the desktop's file manager onto the remote list go up; rows
    // of the remote list onto the file list come down.
    ListView1->SetDragEnabled(true);
    AcceptDrops(ListView1, [this](TObject*, const std::vector<std::string>& paths) { UploadPaths(paths); }, nullptr);
    AcceptDrops(FileListBox1, nullptr, [this](TObject*, TControl* source) {
        if (source == ListView1) DownloadRows(SelectedRows());
    });
}

std::vector<std::string> TFrmFTP::SelectedRows() const {
    std::vector<std::string> names;
    for (int i = 0; i < ListView1->Count(); ++i)
        if (ListView1->Selected(i) && ListView1->Caption(i) != "..") names.push_back(ListView1->Caption(i));
    return names;
}

void TFrmFTP::SetTransferType() {
    if (RadAscii->Checked()) FtpClient1->TypeAscii();
    else FtpClient1->TypeBinary();
}

void TFrmFTP::DownloadRows(const std::vector<std::string>& names) {
    if (!EngineTakesRequest()) return;
    if (names.empty()) {
        ShowMessage("Click and highlight the files and folders you wish to download from the list of the server.");
        return;
    }
    // The rows as they are now: the list is read again only at the end.
    struct TRow {
        std::string Name;
        std::vector<std::string> SubItems;
        bool Folder;
    };
    std::vector<TRow> rows;
    for (const std::string& name : names)
        for (int i = 0; i < ListView1->Count(); ++i)
            if (ListView1->Caption(i) == name) {
                rows.push_back({name, ListView1->SubItems(i), ListView1->StateIndex(i) == kFolderImage});
                break;
            }
    {
        TTransferBatch batch(*this);
        SetTransferType();
        for (const TRow& row : rows) {
            if (!batch.Going()) break;
            if (!IsSafeEntryName(row.Name)) {
                AddLogLine("Left out \"" + row.Name + "\": not a name that can be stored safely.");
                continue;
            }
            if (row.Folder) {
                TransferFolder(false, platform::JoinPath(FileListBox1->Directory(), row.Name),
                               JoinTreePath(LblRemoteDir->Caption(), row.Name), row.Name);
                continue;
            }
            TransferResult = -1;
            DownloadFile(row.Name, row.SubItems);
            batch.FileEnded(row.Name, false);
        }
        FinishBatch(false);
    }
    DirectoryListBox1->Update();
    RefreshRemoteList();
}

void TFrmFTP::UploadPaths(const std::vector<std::string>& paths) {
    if (!EngineTakesRequest()) return;
    if (paths.empty()) return;
    {
        TTransferBatch batch(*this);
        SetTransferType();
        for (std::string path : paths) {
            if (!batch.Going()) break;
            while (path.size() > 1 && path.back() == '/') path.pop_back();
            const std::string name = platform::FileNamePart(path);
            struct stat st {};
            if (!IsSafeEntryName(name) || ::stat(path.c_str(), &st) != 0 ||
                !(S_ISDIR(st.st_mode) || S_ISREG(st.st_mode))) {
                AddLogLine("Left out \"" + path + "\": not a file or folder that can be sent.");
                continue;
            }
            if (S_ISDIR(st.st_mode)) {
                TransferFolder(true, path, JoinTreePath(LblRemoteDir->Caption(), name), name);
                continue;
            }
            TransferResult = -1;
            // A stopped file still counts; the loop then ends on Going().
            if (!UploadFile(path, false) && !batch.Stopped) break;
            batch.FileEnded(name, true);
        }
        FinishBatch(true);
    }
    RefreshRemoteList();
}

void TFrmFTP::TransferFolder(bool upload, const std::string& localRoot, const std::string& remoteRoot,
                             const std::string& rootName) {
    TTransferBatch& batch = *Batch;
    TWindowTreeRemote remote(*FtpClient1, [&batch] { return !batch.Stopped; });
    TTreeTransfer tree(remote, TTreeOptions{upload, !RadAscii->Checked(), false, false});
    const std::string where = upload ? "the remote folder " + remoteRoot : "the local folder " + localRoot;
    tree.OnExisting = [this, &where](const TExistingFile& file) { return AskExisting(file, where); };
    tree.OnProgress = [this, upload](const TTreeProgress& progress) { ShowFolderProgress(progress, upload); };
    tree.OnFailure = [this, upload, &rootName](const std::string& path, const std::string& reason, bool) {
        AddLogLine(std::string(upload ? "Not uploaded: " : "Not downloaded: ") + JoinTreePath(rootName, path) +
                   ": " + reason);
    };
    tree.OnNotice = [this, &rootName](const std::string& path, const std::string& what) {
        AddLogLine("Left out " + JoinTreePath(rootName, path) + ": " + what + ".");
    };
    batch.Tree = &tree;
    batch.FilePosition = [&remote](std::int64_t position) {
        if (remote.OnFilePosition) remote.OnFilePosition(position);
    };
    ShowProgress();
    TTreeResult result;
    try {
        result = tree.Run(localRoot, remoteRoot);
    } catch (...) {
        batch.Tree = nullptr;
        batch.FilePosition = nullptr;
        throw;
    }
    batch.Tree = nullptr;
    batch.FilePosition = nullptr;
    batch.Moved += result.FilesMoved;
    batch.Skipped += result.FilesSkipped;
    batch.Failed += result.Failures;
    AddLogLine("Folder \"" + rootName + "\": " + std::to_string(result.FilesMoved) + " files moved (" +
               std::to_string(result.BytesMoved) + " bytes), " + std::to_string(result.FilesSkipped) + " skipped, " +
               std::to_string(result.Failures) + " not moved.");
}

void TFrmFTP::ShowFolderProgress(const TTreeProgress& progress, bool upload) {
    // A caption set repaints the window at the loop's next turn, whoever turns
    // it (the engine waits on it between two files): a tree of small files is
    // shown at most every kRepaintEveryMs, not at every file.
    if (platform::GetTickCount64() - LastProgressPump < kRepaintEveryMs) return;
    LblEvent->SetCaption(upload ? "Now Uploading ----->" : "<----- Now Downloading");
    LblFilePassed->SetCaption(platform::FileNamePart(progress.CurrentFile));
    double share = 1;
    if (progress.BytesTotal > 0)
        share = static_cast<double>(progress.BytesDone) / static_cast<double>(progress.BytesTotal);
    else if (progress.FilesTotal > 0)
        share = static_cast<double>(progress.FilesDone) / progress.FilesTotal;
    const auto percent = static_cast<int64_t>(std::nearbyint(std::min(share, 1.0) * 100));
    const std::string caption = std::to_string(progress.FilesDone) + " of " + std::to_string(progress.FilesTotal) +
                                " files, " + std::to_string(percent) + "%";
    if (caption != Lblperc->Caption()) {
        Lblperc->SetCaption(caption);
        Lblstat1->SetBounds(Lblstat1->Left(), Lblstat1->Top(), static_cast<int>(percent * 125 / 100),
                            Lblstat1->Height());
    }
    RepaintProgress(true);
}

void TFrmFTP::FinishBatch(bool upload) {
    const TTransferBatch& batch = *Batch;
    std::string line = std::string(upload ? "Upload" : "Download") + " ended: " + std::to_string(batch.Moved) +
                       " files moved, " + std::to_string(batch.Skipped) + " skipped, " +
                       std::to_string(batch.Failed) + " not moved.";
    if (batch.Stopped)
        line += upload ? " Stopped: the files after the one in flight were not sent."
                       : " Stopped: the files after the one in flight were not fetched; no local file was replaced by a part of one.";
    else if (!FtpClient1->Connected())
        line += " The connection ended before every file arrived.";
    AddLogLine(line);
}

void TFrmFTP::StopBatch() {
    if (Batch == nullptr) return;
    Batch->Stopped = true;
    if (Batch->Tree != nullptr) Batch->Tree->Stop();
}

bool TFrmFTP::BatchFilePosition(int64_t Count) {
    if (Batch == nullptr || !Batch->FilePosition) return false;
    Batch->FilePosition(Count);
    return true;
}
