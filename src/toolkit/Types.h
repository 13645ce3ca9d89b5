// Vocabulary shared by the toolkit and the windows: colours, modal results,
// message box kinds and buttons, cursors, event signatures.
#pragma once

#include <cstdint>
#include <functional>

#include "base/Component.h"

// Colours are 0x00BBGGRR, as the windows' design values are written.
using TColor = std::int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clWhite = 0xFFFFFF;
// "Whatever the style uses": the control keeps Qt's own colour.
constexpr TColor clDefault = -1;

using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;

// mtCustom is the notice box: no icon.
enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// A set of buttons is a bit mask of these.
enum TMsgDlgBtn : unsigned {
    mbYes = 1u << 0,
    mbNo = 1u << 1,
    mbOK = 1u << 2,
    mbCancel = 1u << 3,
    mbAbort = 1u << 4,
    mbRetry = 1u << 5,
    mbIgnore = 1u << 6,
};
constexpr unsigned mbOKCancel = mbOK | mbCancel;
constexpr unsigned mbYesNo = mbYes | mbNo;
constexpr unsigned mbYesNoCancel = mbYes | mbNo | mbCancel;

// The modal result a button of a message box gives.
TModalResult ModalResultOf(TMsgDlgBtn button);

enum TCursor { crDefault, crHourGlass, crArrow, crHandPoint };

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;
