// Transfers: the upload and download images with their captions, the
// transfer type, and the progress display.
#include "transfer/Unit1.h"

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
}
