// TObject / TComponent: the ownership model of the program's components.
//
// A component may have an owner. The owner keeps the component in its list and
// destroys it when the owner itself is destroyed (children in reverse order of
// insertion). Destroying a component first removes it from its owner, which
// receives a Notification(opRemove) so that it forgets any link to it. Every
// component is told of its own destruction through ComponentState's
// csDestroying bit, so it can skip events while going away.
#pragma once

#include <string>
#include <vector>

class TObject {
public:
    virtual ~TObject() = default;
};

enum TOperation { opInsert, opRemove };

enum TComponentStateBit : unsigned {
    csDesigning = 1u << 0,
    csDestroying = 1u << 1,
    csLoading = 1u << 2,
};

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* AOwner = nullptr);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return FOwner; }
    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* Components(int index) const { return FComponents.at(static_cast<size_t>(index)); }

    void InsertComponent(TComponent* AComponent);
    void RemoveComponent(TComponent* AComponent);

    unsigned ComponentState() const { return FComponentState; }
    bool Destroying() const { return (FComponentState & csDestroying) != 0; }
    void SetDesigning(bool value);

    std::string Name;

protected:
    // Called on the owner when a component is inserted into or removed from it.
    virtual void Notification(TComponent* AComponent, TOperation Operation);
    // Marks the component as being destroyed; derived destructors call this
    // first so that their own teardown sees it.
    void BeginDestroy() { FComponentState |= csDestroying; }

private:
    TComponent* FOwner = nullptr;
    std::vector<TComponent*> FComponents;
    unsigned FComponentState = 0;
};
