// Transfers: the upload and download images with their captions, the
// transfer type, and the progress display.
#include "transfer/Unit1.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "base/Exceptions.h"
#include "base/Strings.h"
#include "platform/LocalFiles.h"
#include "platform/Messages.h"
#include "toolkit/Application.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Handler.h"
#include "transfer/FormDesign.h"

void TFrmFTP::BuildTransfers() {
    auto arrow = [this](const char* name, int top, TPicture picture) {
        TImage* image = Make<TImage>(this, this, name);
        image->SetBounds(438, top, 64, 44);
        image->SetPicture(picture);
        image->SetCursor(crHandPoint);
        return image;
    };
    auto caption = [this](const char* name, int top, const char* text) {
        TLabel* label = Make<TLabel>(this, this, name);
        label->SetBounds(426, top, 90, 16);
        label->SetFont(ArialFont(8, true));
        label->SetAutoSize(false);
        label->SetAlignment(Qt::AlignHCenter);
        label->SetCaption(text);
        label->SetCursor(crHandPoint);
        return label;
    };
    Image5 = arrow("Image5", 48, piArrowRight);
    Label3 = caption("Label3", 94, "UPLOAD ");
    Image4 = arrow("Image4", 124, piArrowLeft);
    Label4 = caption("Label4", 170, "DOWNLOAD");

    Panel1 = Make<TPanel>(this, this, "Panel1");
    Panel1->SetBounds(426, 200, 90, 54);
    Panel1->SetBevelOuter(bvLowered);
    auto typeChoice = [this](const char* radioName, const char* labelName, int top, const char* text,
                             TLabel*& label) {
        TRadioButton* radio = Make<TRadioButton>(this, Panel1, radioName);
        radio->SetBounds(6, top, 18, 18);
        label = Make<TLabel>(this, Panel1, labelName);
        label->SetBounds(26, top + 1, 56, 16);
        label->SetFont(ArialFont());
        label->SetCaption(text);
        return radio;
    };
    RadAscii = typeChoice("RadAscii", "Label5", 6, "Ascii", Label5);
    RadBinary = typeChoice("RadBinary", "Label6", 30, "Binary", Label6);

    auto progressLabel = [this](const char* name, int top, int width, int height, const TFont& font) {
        TLabel* label = Make<TLabel>(this, this, name);
        label->SetAutoSize(false);
        label->SetBounds(758, top, width, height);
        label->SetFont(font);
        return label;
    };
    LblEvent = progressLabel("LblEvent", 300, 136, 16, ArialFont());
    LblFilePassed = progressLabel("LblFilePassed", 318, 136, 16, ArialFont());
    Lblstat1 = progressLabel("Lblstat1", 338, 25, 28, ArialFont());
    TFont percent = ArialFont(8, true);
    percent.Color = clNavy;
    Lblperc = progressLabel("Lblperc", 370, 136, 16, percent);

    Image5->OnClick = [this](TObject* s) { Image5Click(s); };
    Label3->OnClick = [this](TObject* s) { Label3Click(s); };
    Image4->OnClick = [this](TObject* s) { Image4Click(s); };
    Label4->OnClick = [this](TObject* s) { Image4Click(s); };
    // The transfer's own completion tells how it ended: a synchronous call's
    // result may already be that of a request the completion table started
    // while the call was still pumping.
    FtpClient1->OnRequestDone = [this, table = FtpClient1->OnRequestDone](TObject* s, TFtpRequest rq,
                                                                          std::uint16_t e) {
        if (IsFileTransfer(rq)) TransferDone(e);
        if (table) table(s, rq, e);
    };
    FtpClient1->OnProgress = [this](TObject* s, int64_t count, bool& abort) {
        RunHandler([&] { FtpClient1Progress(s, count, abort); });
    };
}

void TFrmFTP::Image5Click(TObject*) {
    AddLogLine("Requesting to UPLOAD a FILE...");
    UploadSelected();
}

void TFrmFTP::Label3Click(TObject*) { UploadSelected(); }

void TFrmFTP::Image4Click(TObject*) {
    AddLogLine("Requesting to DOWNLOAD a FILE...");
    DownloadFocused();
}

bool TFrmFTP::EngineIdle() const {
    const TFtpEngineState state = FtpClient1->State();
    return state == fesReady || state == fesBetweenSteps;
}

bool TFrmFTP::IsFileTransfer(TFtpRequest request) {
    return request == ftpGetAsync || request == ftpPutAsync || request == ftpRestGetAsync || request == ftpRestPutAsync;
}

bool TFrmFTP::TransferRunning() const {
    return Batch != nullptr || (!EngineIdle() && IsFileTransfer(FtpClient1->RequestType()));
}

bool TFrmFTP::EngineTakesRequest() {
    if (!FtpClient1->Connected()) {
        AddLogLine("Not connected to the server. Click \"Connect\" to connect again.");
        return false;
    }
    if (!EngineIdle()) {
        AddLogLine("The server is still busy with the last request. Please wait until it has finished.");
        return false;
    }
    return true;
}

bool TFrmFTP::SetRequestNames(const TRequestNames& names) {
    if (!EngineIdle()) return false;
    if (names.HostDirName) FtpClient1->HostDirName = *names.HostDirName;
    if (names.HostFileName) FtpClient1->HostFileName = *names.HostFileName;
    if (names.LocalFileName) FtpClient1->LocalFileName = *names.LocalFileName;
    return true;
}

bool TFrmFTP::FitsOneCommand(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

// The paths are taken before the first file goes: a list re-read or clicked
// while a file is on its way changes nothing about what is sent.
void TFrmFTP::UploadSelected() {
    if (!EngineTakesRequest()) return;
    StandingChoice.reset();
    const bool savedView = !RadExplorer->Checked();
    TListBox* list = savedView ? static_cast<TListBox*>(ListBoxPC) : FileListBox1;
    if (list->Count() == 0) {
        ShowMessage(
            "You can upload any file listed in the box on the left. Use the add button on the bottom to add any files to the box for uploading.");
        return;
    }
    if (list->SelCount() == 0) {
        ShowMessage(savedView
                        ? "Click and highlight any files you wish to upload from the box on your left. (You can also hold the CTRL key down to select multiple items from your list)."
                        : "No file is selected in your list. Click and highlight any files you wish to upload from the box on your left. (You can also hold the CTRL key down to select multiple items from your list).");
        return;
    }
    std::vector<std::string> paths;
    for (int i = 0; i < list->Count(); ++i)
        if (list->Selected(i)) paths.push_back(savedView ? list->Strings(i) : ShownFile(list->Strings(i)));
    for (const std::string& path : paths)
        if (!UploadFile(path, savedView)) break;
}

bool TFrmFTP::UploadFile(const std::string& path, bool savedView) {
    if (!EngineTakesRequest()) return false;
    std::string remoteName = platform::FileNamePart(path);
    std::int64_t resumeAt = 0;
    if (ChooseRemoteName(remoteName, GetLocalFileSize(path), resumeAt) == TExistingChoice::Skip) return true;
    if (!SetRequestNames({.HostDirName = LblRemoteDir->Caption(),
                          .HostFileName = remoteName,
                          .LocalFileName = path}))
        return false;
    UploadPath = path;
    TransferSize = GetLocalFileSize(UploadPath);
    // Each file shows its own progress, not only the first of the batch.
    TransferActive = true;
    TransferReachedSize = false;
    LblEvent->SetCaption("Now Uploading ----->");
    LblFilePassed->SetCaption(platform::FileNamePart(UploadPath));
    ShowProgress();
    // The saved view keeps a display that did not reach its size until the
    // next transfer; the explorer view always clears it.
    bool stopped = false;
    try {
        if (savedView) {
            FtpClient1->SetBinary(!RadAscii->Checked());
            FtpClient1->TypeSet();
        } else if (RadAscii->Checked()) {
            FtpClient1->TypeAscii();
        } else {
            FtpClient1->TypeBinary();
        }
        SetBusy();
        TransferResult = -1;
        TStoppable stoppable(*this, "Stopped: \"" + remoteName +
                                        "\" was not uploaded whole; the server may keep the part that arrived.");
        if (resumeAt > 0) {
            FtpClient1->ResumeAt = resumeAt;
            FtpClient1->RunSync(&TCustomFtpCli::RestPutAsync);
        } else {
            FtpClient1->Put();
        }
        FinishTransfer(TransferSucceeded());
        stopped = StopAsked;
    } catch (...) {
        if (!savedView) ResetProgress();
        throw;
    }
    if (!savedView) ResetProgress();
    return !stopped;
}

bool TFrmFTP::TransferSucceeded() {
    // A request that started has posted its completion by the time the call
    // returns; one round of messages delivers it.
    if (TransferResult < 0) Application->ProcessMessages();
    if (TransferResult < 0) {
        TransferActive = false;
        ClearBusy();
        AddLogLine("The server did not take the transfer. Click \"Connect\" and try again.");
    }
    return TransferResult == 0;
}

void TFrmFTP::TransferDone(std::uint16_t Error) {
    TransferResult = Error;
    // An empty file may move without a single data event.
    if (TransferActive && TransferSize == 0) TransferReachedSize = true;
    TransferActive = false;
}

void TFrmFTP::FinishTransfer(bool succeeded) {
    if (succeeded && TransferReachedSize) AddLogLine("SUCCESSFULLY Transferred Data. It is now displayed.");
    TransferReachedSize = false;
}

namespace {

// A signed 64-bit decimal number and nothing else.
bool ParseSize(const std::string& text, int64_t& value) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    const auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() && end == last && first != last;
}

const char* const kRemoteNameError =
    "Remote file name error. Make sure you have not lost your connection and that you have selected a file name for downloading.";

}  // namespace

// The file arrives in a scratch file beside the target and replaces the
// target only once the server has sent it whole: a refused or broken
// download leaves a local file of the same name as it was. The name must be
// one plain level, so that nothing the server lists can reach outside the
// shown folder.
void TFrmFTP::DownloadFocused() {
    if (!EngineTakesRequest()) return;
    if (ListView1->SelCount() == 0) return;
    const int focused = ListView1->ItemFocused();
    if (focused < 0) {
        ShowMessage(kRemoteNameError);
        return;
    }
    const std::string name = ListView1->Caption(focused);
    if (!platform::IsPlainName(name) || !FitsOneCommand(name)) {
        ShowMessage(kRemoteNameError);
        return;
    }
    StandingChoice.reset();
    if (ListView1->StateIndex(focused) == kFolderImage) {
        DownloadRows({name});
        return;
    }
    DownloadFile(name, ListView1->SubItems(focused));
}

void TFrmFTP::DownloadFile(const std::string& name, const std::vector<std::string>& subItems) {
    DownloadName = name;
    const std::string folder = FileListBox1->Directory();
    int64_t size = -1;
    // Without a usable size the download runs without progress display.
    TransferActive = !subItems.empty() && ParseSize(subItems[0], size);
    TransferSize = size;
    std::string localName = DownloadName;
    const TExistingChoice choice = ChooseLocalName(localName, TransferActive ? size : -1);
    if (choice == TExistingChoice::Skip) {
        TransferActive = false;
        return;
    }
    const bool resume = choice == TExistingChoice::Resume;
    const std::string target = ShownFile(localName);
    TransferReachedSize = false;

    // A resumed download adds to the file itself; any other goes to scratch.
    const std::string scratch = resume ? std::string() : platform::CreateScratchFile(folder, DownloadName);
    bool stored = false;
    try {
        if (scratch.empty() && !resume) throw Exception("Unable to create a file in " + folder);
        // The engine was found idle by the caller and nothing has run since:
        // the names are taken.
        SetRequestNames({.HostDirName = LblRemoteDir->Caption(),
                         .HostFileName = DownloadName,
                         .LocalFileName = resume ? target : scratch});
        if (RadAscii->Checked()) FtpClient1->TypeAscii();
        else FtpClient1->TypeBinary();
        if (TransferActive) {
            LblEvent->SetCaption("<----- Now Downloading");
            LblFilePassed->SetCaption(DownloadName);
            ShowProgress();
        }
        SetBusy();
        TransferResult = -1;
        TStoppable stoppable(*this, resume ? "Stopped: \"" + localName +
                                                 "\" was not resumed to its end; it keeps what arrived."
                                           : "Stopped: \"" + DownloadName +
                                                 "\" was not downloaded; the local folder is as it was.");
        if (resume) FtpClient1->RunSync(&TCustomFtpCli::RestGetAsync);
        else FtpClient1->Get();
        if (TransferSucceeded()) {
            if (!resume && !platform::ReplaceFile(scratch, target))
                throw Exception("The downloaded file could not be stored as " + target +
                                ". Make sure no folder of that name is in the way.");
            stored = true;
            FinishTransfer(true);
        }
    } catch (...) {
        if (!scratch.empty() && !stored) platform::DeleteFile(scratch);
        ResetProgress();
        FileListBox1->Update();
        throw;
    }
    if (!scratch.empty() && !stored) platform::DeleteFile(scratch);
    ResetProgress();
    // A batch reads the folder once, at its end.
    if (Batch == nullptr) FileListBox1->Update();
}

void TFrmFTP::FtpClient1Progress(TObject*, int64_t Count, bool& Abort) {
    // Stop ends the file transfer, not the listing its end starts while the
    // stop is still being reported.
    if (StopAsked && IsFileTransfer(FtpClient1->RequestType())) Abort = true;
    if (BatchFilePosition(Count)) return;
    if (!TransferActive) return;
    // Nothing to show a share of for an empty (or missing) file.
    if (TransferSize > 0) {
        const double percent = std::nearbyint(static_cast<double>(Count) / static_cast<double>(TransferSize) * 100);
        if (percent <= 100) {
            const auto shown = static_cast<int64_t>(percent);
            if (shown != ShownPercent) {
                ShownPercent = shown;
                ProgressChanged = true;
                Lblperc->SetCaption(IntToStr(shown) + "% Done");
                Lblstat1->SetBounds(Lblstat1->Left(), Lblstat1->Top(),
                                    static_cast<int>(std::nearbyint(percent * 125 / 100)), Lblstat1->Height());
            }
            RepaintProgress(false);
        }
    }
    if (Count >= TransferSize) {
        Lblperc->SetCaption("100% Done");
        TransferReachedSize = true;
        TransferActive = false;
        ResetProgress();
        RepaintProgress(true);
    }
}

void TFrmFTP::RepaintProgress(bool now) {
    // Called at every block: the clock is read only when there is something to show.
    if (!now && !ProgressChanged) return;
    const std::uint64_t tick = platform::GetTickCount64();
    if (!now && tick - LastProgressPump < kRepaintEveryMs) return;
    ProgressChanged = false;
    LastProgressPump = tick;
    Application->ProcessMessages();
}

void TFrmFTP::ShowProgress() {
    ShownPercent = -1;
    Lblstat1->SetBounds(Lblstat1->Left(), Lblstat1->Top(), 0, Lblstat1->Height());
    Lblstat1->SetColor(clNavy);
    Lblperc->SetVisible(true);
    LblEvent->SetVisible(true);
    LblFilePassed->SetVisible(true);
}

void TFrmFTP::ResetProgress() {
    Lblstat1->SetColor(kFormColor);
    Lblstat1->SetBounds(Lblstat1->Left(), Lblstat1->Top(), 0, Lblstat1->Height());
    Lblperc->SetCaption("");
    LblEvent->SetCaption("");
    LblFilePassed->SetCaption("");
    Lblperc->SetVisible(false);
    LblEvent->SetVisible(false);
    LblFilePassed->SetVisible(false);
}
