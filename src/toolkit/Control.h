// TControl: a visible control, a component that owns one Qt widget.
//
// Contract:
//  - The control is owned by its owner component (usually the window); its
//    widget sits inside its parent control's widget. Destroying the control
//    destroys its widget; a widget already destroyed with its Qt parent is
//    not touched again.
//  - Positions and sizes are in pixels relative to the parent, as designed.
//  - Events are std::function members, each run through RunHandler.
#pragma once

#include <string>

#include <QPointer>
#include <QWidget>

#include "base/Component.h"
#include "toolkit/Types.h"

struct TFont {
    std::string Name = "Arial";
    int Size = 8;  // points at 96 dots per inch, as designed
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    TColor Color = clDefault;
};

class TForm;

class TControl : public TComponent {
public:
    TControl(TComponent* AOwner, QWidget* widget);
    ~TControl() override;

    QWidget* Widget() const { return FWidget; }
    // The widget that holds child controls (a scroll box's content).
    virtual QWidget* ClientWidget() const { return FWidget; }

    void SetBounds(int left, int top, int width, int height);
    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;

    bool Visible() const { return FVisible; }
    virtual void SetVisible(bool value);
    bool Enabled() const;
    void SetEnabled(bool value);
    const std::string& Hint() const { return FHint; }
    void SetHint(const std::string& hint);
    bool TabStop() const;
    void SetTabStop(bool value);
    void SetFocus();
    bool Focused() const;

    void SetFont(const TFont& font);
    const TFont& Font() const { return FFont; }
    // Background colour (clDefault: the style's).
    void SetColor(TColor color);
    TColor Color() const { return FColor; }
    // The mouse pointer over this control (crDefault: the parent's).
    void SetCursor(TCursor cursor);
    TCursor Cursor() const { return FCursor; }

    // The window the control sits in (nullptr while not inside one).
    TForm* ParentForm() const;

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;

protected:
    // Runs OnClick / OnDblClick through the handler wrapper.
    void Click() { FireEventIfAny(OnClick); }
    void DblClick() { FireEventIfAny(OnDblClick); }

private:
    void FireEventIfAny(const TNotifyEvent& event);

    QPointer<QWidget> FWidget;
    bool FVisible = true;
    std::string FHint;
    TFont FFont;
    TColor FColor = clDefault;
    TCursor FCursor = crDefault;
};

QColor ToQColor(TColor color);
Qt::CursorShape ToQCursor(TCursor cursor);
QFont ToQFont(const TFont& font);
