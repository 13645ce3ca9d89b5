// The remote listing: the server's current directory as a three-column list
// with its state images, the directory label, the sort choice, the listing
// file read into the entry table, and the folder change by double click.
#include "transfer/Unit1.h"

#include <fstream>
#include <iterator>
#include <utility>

#include "platform/Folders.h"
#include "platform/LocalFiles.h"
#include "platform/ProgramPaths.h"
#include "transfer/ExchangeOrder.h"
#include "transfer/FormDesign.h"
#include "ftp/ListingLine.h"

void TFrmFTP::BuildRemoteListing() {
    LblRemoteDir = Make<TLabel>(this, this, "LblRemoteDir");
    LblRemoteDir->SetBounds(522, 4, 372, 16);
    LblRemoteDir->SetFont(ArialFont());
    LblRemoteDir->SetWordWrap(true);

    ImageList1 = new TImageList(this, 16);
    ImageList1->Name = "ImageList1";
    ImageList1->Add(piFolderOpen);  // 0: a folder row
    ImageList1->Add(piDocument);    // 1: a file row
    ImageList1->Add(piOutline);     // 2: the ".." row

    ListView1 = Make<TListView>(this, this, "ListView1");
    ListView1->SetBounds(522, 22, 372, 200);
    ListView1->SetFont(ArialFont());
    ListView1->SetColor(clWhite);
    ListView1->AddColumn("Name", 115);
    ListView1->AddColumn("Size", 65);
    ListView1->AddColumn("Last Modified", 105);
    ListView1->SetRowSelect(true);
    ListView1->SetMultiSelect(true);
    ListView1->SetStateImages(ImageList1);
    ListView1->SetEnabled(false);
    ListView1->OnDblClick = [this](TObject* s) { ListView1DblClick(s); };

    GroupBox3 = Make<TGroupBox>(this, this, "GroupBox3");
    GroupBox3->SetBounds(522, 226, 372, 70);
    GroupBox3->SetFont(ArialFont());
    auto sortChoice = [this](const char* name, int left, int width, const char* caption) {
        TRadioButton* radio = Make<TRadioButton>(this, GroupBox3, name);
        radio->SetBounds(left, 46, width, 18);
        radio->SetFont(ArialFont());
        radio->SetCaption(caption);
        return radio;
    };
    RadSortAlpha = sortChoice("RadSortAlpha", 6, 124, "Order Alphabetically");
    RadSortData = sortChoice("RadSortData", 132, 118, "Order by Data Type");
    RadSortExt = sortChoice("RadSortExt", 252, 116, "Order by Extension");
}

// The results are not looked at: the list is rebuilt only when the listing's
// completion arrives (FtpClient1RequestDone). Asked while a request runs (the
// greeting of a connect, a double click during a rename) it does nothing: the
// running request keeps its names, and its own completion lists afterwards.
void TFrmFTP::RefreshRemoteList() {
    if (!SetRequestNames({.HostFileName = std::string(), .LocalFileName = ListingFile})) return;
    // The listing travels in ASCII type.
    if (FtpClient1->Binary()) {
        FtpClient1->SetBinary(false);
        FtpClient1->TypeSet();
    }
    FtpClient1->Dir();
    AddLogLine("The directory list is now being displayed.");
}

void TFrmFTP::LoadRemoteListing() {
    RemoteCount = 0;
    if (!platform::FileExists(ListingFile)) return;
    std::string text;
    {
        std::ifstream in(ListingFile, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    int unsafe = 0;
    bool full = false;
    for (const std::string& line : SplitListingLines(text)) {
        TListingRow row;
        if (!ParseListingLine(line, row)) continue;
        // A name that is not one entry of this folder would, once sent back
        // or used as a local file name, reach somewhere else.
        if (!IsSafeListingRow(row)) {
            ++unsafe;
            continue;
        }
        if (RemoteCount == TRemoteEntries::kCapacity) {
            full = true;
            break;
        }
        ++RemoteCount;
        const auto i = static_cast<size_t>(RemoteCount);
        RemoteEntries.Name[i] = std::move(row.Name);
        RemoteEntries.Size[i] = std::move(row.Size);
        RemoteEntries.Modified[i] = std::move(row.Modified);
        RemoteEntries.IsFolder[i] = row.IsFolder;
    }
    platform::DeleteFile(ListingFile);
    if (unsafe > 0)
        AddLogLine("Ignored " + std::to_string(unsafe) + " listing line(s) whose name is not a plain file name.");
    if (full)
        AddLogLine("Only the first " + std::to_string(TRemoteEntries::kCapacity) +
                   " entries of the listing are shown.");

    if (RadSortData->Checked()) SortRemoteEntries("Data");
    else if (RadSortAlpha->Checked()) SortRemoteEntries("Alpha");
    else SortRemoteEntries("Ext");
    FillRemoteView();
}

namespace {

// From the last full stop to the end; empty when no full stop follows the
// last backslash or colon.
std::string_view Extension(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return {};
    const size_t separator = name.find_last_of("\\:");
    if (separator != std::string::npos && separator > dot) return {};
    return std::string_view(name).substr(dot);
}

}  // namespace

// An exchange sort's order: every pair compared once, row i in its current
// state. The order of rows with equal keys is the one this procedure gives.
void TFrmFTP::SortRemoteEntries(const std::string& key) {
    TRemoteEntries& e = RemoteEntries;
    std::vector<std::string_view> extensions;
    if (key == "Ext")
        for (int i = 1; i <= RemoteCount; ++i) extensions.push_back(Extension(e.Name[static_cast<size_t>(i)]));
    // Ordinal, case-sensitive; a proper prefix is the smaller. Rows 0-based.
    auto before = [&](int a, int b) {
        const auto i = static_cast<size_t>(a) + 1, j = static_cast<size_t>(b) + 1;
        if (key == "Alpha") return e.Name[i] < e.Name[j];
        if (e.IsFolder[j] != e.IsFolder[i]) return e.IsFolder[i] > e.IsFolder[j];
        if (key == "Data") return e.Name[i] < e.Name[j];
        return extensions[static_cast<size_t>(a)] < extensions[static_cast<size_t>(b)];
    };
    const std::vector<int> order = ExchangeSortOrder(RemoteCount, before);
    // Rows are moved into their places by exchanges; where[k] is the place
    // now holding original row k, holding[p] the original row at place p.
    std::vector<int> where(order.size()), holding(order.size());
    for (size_t k = 0; k < order.size(); ++k) where[k] = holding[k] = static_cast<int>(k);
    for (size_t p = 0; p < order.size(); ++p) {
        const int from = where[static_cast<size_t>(order[p])];
        if (from == static_cast<int>(p)) continue;
        SwapRemoteEntries(static_cast<int>(p) + 1, from + 1);
        const int moved = holding[p];
        holding[static_cast<size_t>(from)] = moved;
        where[static_cast<size_t>(moved)] = from;
        holding[p] = order[p];
        where[static_cast<size_t>(order[p])] = static_cast<int>(p);
    }
}

void TFrmFTP::SwapRemoteEntries(int i, int j) {
    TRemoteEntries& e = RemoteEntries;
    const auto a = static_cast<size_t>(i), b = static_cast<size_t>(j);
    std::swap(e.Name[a], e.Name[b]);
    std::swap(e.Size[a], e.Size[b]);
    std::swap(e.Modified[a], e.Modified[b]);
    std::swap(e.IsFolder[a], e.IsFolder[b]);
}

// Only the ".." row is highlighted afterwards, and no row has the focus: a
// highlighted last row would be swept into the next "Delete File" unseen.
void TFrmFTP::FillRemoteView() {
    ListView1->Clear();
    ListView1->AddItem("..", {}, 2);
    for (int i = 1; i <= RemoteCount; ++i) {
        const auto r = static_cast<size_t>(i);
        ListView1->AddItem(RemoteEntries.Name[r], {RemoteEntries.Size[r], RemoteEntries.Modified[r]},
                           RemoteEntries.IsFolder[r] == 1 ? 0 : 1);
    }
    ListView1->SetSelected(0, true);
    ListView1->SetItemFocused(-1);
}

void TFrmFTP::ListView1DblClick(TObject*) {
    SetBusy();
    if (ListView1->SelCount() == 0) {
        ShowMessage("Please double-click any folder name to change folders, or double-click the \"..\" if you wish to go back a folder. Use the arrow buttons to download and upload files.");
    } else {
        try {
            const int row = ListView1->FirstSelected();
            ListView1->SetItemFocused(row);
            if (EngineTakesRequest() && SetRequestNames({.HostDirName = ListView1->Caption(row)})) {
                FolderChangeAsked = true;
                FtpClient1->Cwd();
                FolderChangeAsked = false;
                RefreshRemoteList();
            }
        } catch (const std::exception&) {
            ShowMessage(kNotAFolder);
        }
        FolderChangeAsked = false;
    }
    ClearBusy();
}
