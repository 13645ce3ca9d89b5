// TPopupMenu: the context menu of one control. A right click on the control
// (or the menu key) opens it there; choosing an item runs the item's OnClick
// through the handler wrapper, after the menu has closed.
//
// Contract: owned by its owner component; the control it is attached to must
// live as long as the menu. User-interface thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/Component.h"
#include "toolkit/Types.h"

class TControl;

class TMenuItem {
public:
    explicit TMenuItem(std::string caption) : FCaption(std::move(caption)) {}
    const std::string& Caption() const { return FCaption; }
    // What choosing the item does (also used by tests in place of a click).
    void Click();
    TNotifyEvent OnClick;

private:
    std::string FCaption;
};

class TPopupMenu : public TComponent {
public:
    explicit TPopupMenu(TComponent* AOwner) : TComponent(AOwner) {}

    TMenuItem* Add(const std::string& caption, TNotifyEvent onClick);
    int Count() const { return static_cast<int>(FItems.size()); }
    TMenuItem* Items(int index) const { return FItems.at(static_cast<size_t>(index)).get(); }
    // The item of that caption, or nullptr.
    TMenuItem* Find(const std::string& caption) const;
    // Opens the menu on the control's context menu requests.
    void AttachTo(TControl* control);

private:
    std::vector<std::unique_ptr<TMenuItem>> FItems;
};
