#include "toolkit/PopupMenu.h"

#include <QAbstractScrollArea>
#include <QMenu>
#include <QPointer>

#include "toolkit/Control.h"
#include "toolkit/Handler.h"
#include "toolkit/Text.h"

void TMenuItem::Click() { FireEvent(OnClick, nullptr); }

TMenuItem* TPopupMenu::Add(const std::string& caption, TNotifyEvent onClick) {
    FItems.push_back(std::make_unique<TMenuItem>(caption));
    FItems.back()->OnClick = std::move(onClick);
    return FItems.back().get();
}

TMenuItem* TPopupMenu::Find(const std::string& caption) const {
    for (const auto& item : FItems)
        if (item->Caption() == caption) return item.get();
    return nullptr;
}

void TPopupMenu::AttachTo(TControl* control) {
    QWidget* widget = control->Widget();
    widget->setContextMenuPolicy(Qt::CustomContextMenu);
    // An item view reports the position in its viewport.
    auto* area = qobject_cast<QAbstractScrollArea*>(widget);
    QWidget* origin = area != nullptr ? area->viewport() : widget;
    QObject::connect(widget, &QWidget::customContextMenuRequested, widget, [this, origin](const QPoint& at) {
        QMenu menu(origin);
        for (const auto& item : FItems) menu.addAction(ToQString(item->Caption()))->setData(QVariant::fromValue<void*>(item.get()));
        QAction* chosen = menu.exec(origin->mapToGlobal(at));
        if (chosen != nullptr) static_cast<TMenuItem*>(chosen->data().value<void*>())->Click();
    });
}
