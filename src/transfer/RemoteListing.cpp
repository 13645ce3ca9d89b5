// The remote listing: the server's current directory as a three-column list
// with its state images, the directory label, and the sort choice.
#include "transfer/Unit1.h"

#include "transfer/FormDesign.h"

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
