#include "base/Component.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Records its own destruction and the removals its owner was told of.
class Probe : public TComponent {
public:
    Probe(TComponent* owner, std::vector<std::string>& log, std::string name)
        : TComponent(owner), Log(log) { Name = std::move(name); }
    ~Probe() override { Log.push_back("destroy " + Name); }
    std::vector<TComponent*> removed;

protected:
    void Notification(TComponent* c, TOperation op) override {
        if (op == opRemove) removed.push_back(c);
    }

private:
    std::vector<std::string>& Log;
};

TEST(Component, OwnerDestroysChildrenNewestFirst) {
    std::vector<std::string> log;
    auto* root = new Probe(nullptr, log, "root");
    new Probe(root, log, "a");
    auto* b = new Probe(root, log, "b");
    new Probe(b, log, "b1");
    EXPECT_EQ(root->ComponentCount(), 2);
    delete root;
    EXPECT_EQ(log, (std::vector<std::string>{"destroy root", "destroy b", "destroy b1", "destroy a"}));
}

TEST(Component, RemovedChildIsForgottenAndNotifies) {
    std::vector<std::string> log;
    Probe root(nullptr, log, "root");
    auto* a = new Probe(&root, log, "a");
    delete a;
    EXPECT_EQ(root.ComponentCount(), 0);
    ASSERT_EQ(root.removed.size(), 1u);
    EXPECT_EQ(root.removed[0], a);

    Probe other(nullptr, log, "other");
    auto* c = new Probe(&root, log, "c");
    other.InsertComponent(c);  // moving to another owner removes it from the first
    EXPECT_EQ(root.ComponentCount(), 0);
    EXPECT_EQ(other.ComponentCount(), 1);
    EXPECT_EQ(c->Owner(), &other);
}

}  // namespace
