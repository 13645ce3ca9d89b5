// Files already there: a download never silently replaces a local file of
// the same name, nor an upload a remote one.
#include "transfer/Unit1.h"

#include <charconv>

#include <sys/stat.h>

#include "toolkit/Dialogs.h"
#include "tree/TreeWalk.h"

namespace {

// -1: nothing there; a link or anything but a plain file counts as 0 bytes
// and Regular false.
std::int64_t LocalSize(const std::string& path, bool* Regular = nullptr) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return -1;
    if (Regular != nullptr) *Regular = S_ISREG(st.st_mode);
    return S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : 0;
}

std::int64_t SizeOf(const std::string& text) {
    std::int64_t value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : -1;
}

}  // namespace

// Return picks Skip: the safe answer when the box is dismissed in a hurry.
TExistingAnswer TFrmFTP::AskExisting(const TExistingFile& file, const std::string& where) {
    if (StandingChoice) return {*StandingChoice, true};
    unsigned buttons = mbYes | mbNo | mbIgnore;
    TButtonCaptions captions{{mbYes, "Overwrite"}, {mbNo, "Skip"}, {mbIgnore, "Rename"}};
    std::string text = "\"" + file.Path + "\" is already in " + where +
                       ". Overwrite it, skip this file, or keep both by storing the new one under a free name (Rename)?";
    if (file.ResumeOffered) {
        buttons |= mbRetry;
        captions[mbRetry] = "Resume";
        text += " It is smaller than the new one: Resume adds what it lacks.";
    }
    bool all = false;
    const TModalResult answer = MessageDlg(text, mtConfirmation, buttons, captions, mbNo,
                                           "Apply to all files of this transfer", all);
    TExistingAnswer result{TExistingChoice::Skip, all};
    if (answer == mrYes) result.Choice = TExistingChoice::Overwrite;
    else if (answer == mrIgnore) result.Choice = TExistingChoice::Rename;
    else if (answer == mrRetry && file.ResumeOffered) result.Choice = TExistingChoice::Resume;
    if (all) StandingChoice = result.Choice;
    return result;
}

TExistingChoice TFrmFTP::DecideExisting(const TExistingFile& file, const std::string& where) {
    TExistingChoice choice = AskExisting(file, where).Choice;
    // A standing Resume for a file with nothing to resume: a complete copy
    // stays, a larger one is replaced.
    if (choice == TExistingChoice::Resume && !file.ResumeOffered)
        choice = file.TargetSize == file.SourceSize ? TExistingChoice::Skip : TExistingChoice::Overwrite;
    return choice;
}

TExistingChoice TFrmFTP::ChooseLocalName(std::string& name, std::int64_t sourceSize) {
    bool regular = false;
    const std::int64_t there = LocalSize(ShownFile(name), &regular);
    if (there < 0) return TExistingChoice::Overwrite;
    TExistingFile file{name, sourceSize, there};
    // Appending through a link would write wherever it points.
    file.ResumeOffered = !RadAscii->Checked() && regular && sourceSize >= 0 && there < sourceSize;
    const TExistingChoice choice = DecideExisting(file, "the local folder " + FileListBox1->Directory());
    switch (choice) {
        case TExistingChoice::Rename: {
            std::string free;
            for (int n = 1; free.empty() || LocalSize(ShownFile(free)) >= 0; ++n) free = NumberedName(name, n);
            AddLogLine("\"" + name + "\" is already in the local folder: the download is stored as \"" + free + "\".");
            name = free;
            break;
        }
        case TExistingChoice::Resume:
            AddLogLine("\"" + name + "\" is already in the local folder: resuming it after byte " +
                       std::to_string(there) + ".");
            break;
        case TExistingChoice::Skip:
            AddLogLine("\"" + name + "\" is already in the local folder: not downloaded.");
            break;
        case TExistingChoice::Overwrite: break;
    }
    return choice;
}

std::int64_t TFrmFTP::RemoteListSize(const std::string& name) const {
    for (int i = 1; i <= RemoteCount; ++i)
        if (RemoteEntries.Name[static_cast<size_t>(i)] == name) {
            const std::int64_t size = SizeOf(RemoteEntries.Size[static_cast<size_t>(i)]);
            return size < 0 ? 0 : size;
        }
    return -1;
}

TExistingChoice TFrmFTP::ChooseRemoteName(std::string& name, std::int64_t sourceSize, std::int64_t& resumeAt) {
    resumeAt = 0;
    const std::int64_t there = RemoteListSize(name);
    if (there < 0) return TExistingChoice::Overwrite;
    TExistingFile file{name, sourceSize, there};
    file.ResumeOffered = !RadAscii->Checked() && there < sourceSize;
    const TExistingChoice choice = DecideExisting(file, "the remote folder " + LblRemoteDir->Caption());
    switch (choice) {
        case TExistingChoice::Rename: {
            std::string free;
            for (int n = 1; free.empty() || RemoteListSize(free) >= 0; ++n) free = NumberedName(name, n);
            AddLogLine("\"" + name + "\" is already in the remote folder: the upload is stored as \"" + free + "\".");
            name = free;
            break;
        }
        case TExistingChoice::Resume:
            resumeAt = there;
            AddLogLine("\"" + name + "\" is already in the remote folder: resuming it after byte " +
                       std::to_string(there) + ".");
            break;
        case TExistingChoice::Skip:
            AddLogLine("\"" + name + "\" is already in the remote folder: not uploaded.");
            break;
        case TExistingChoice::Overwrite: break;
    }
    return choice;
}
