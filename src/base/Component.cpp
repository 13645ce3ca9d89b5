#include "base/Component.h"

#include <algorithm>

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    FComponentState |= csDestroying;
    // Owned components go first, newest first; each removes itself from us.
    while (!FComponents.empty()) {
        TComponent* child = FComponents.back();
        delete child;
    }
    if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::InsertComponent(TComponent* AComponent) {
    if (!AComponent || AComponent->FOwner == this) return;
    if (AComponent->FOwner) AComponent->FOwner->RemoveComponent(AComponent);
    FComponents.push_back(AComponent);
    AComponent->FOwner = this;
    Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
    auto it = std::find(FComponents.begin(), FComponents.end(), AComponent);
    if (it == FComponents.end()) return;
    FComponents.erase(it);
    AComponent->FOwner = nullptr;
    Notification(AComponent, opRemove);
}

void TComponent::SetDesigning(bool value) {
    if (value) FComponentState |= csDesigning;
    else FComponentState &= ~csDesigning;
}

void TComponent::Notification(TComponent*, TOperation) {}
