#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comm/component/base_component.hpp"

namespace qor {
namespace {

// Records the notifications it receives and can name a component it refers to.
class Recorder : public TQorBaseComponent {
 public:
  Recorder(TQorBaseComponent* owner, std::string name, std::vector<std::string>* journal)
      : TQorBaseComponent(owner), journal_(journal) {
    SetName(std::move(name));
  }
  ~Recorder() override { journal_->push_back("free " + Name()); }

  TQorBaseComponent* partner = nullptr;

 protected:
  void Notification(TQorBaseComponent* component, TOperation operation) override {
    TQorBaseComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == partner) {
      journal_->push_back(Name() + " lost partner");
      partner = nullptr;
    }
  }

 private:
  std::vector<std::string>* journal_;
};

TEST(BaseComponent, OwnerKeepsOrderAndFreesLastFirst) {
  std::vector<std::string> journal;
  auto* root = new Recorder(nullptr, "root", &journal);
  auto* a = new Recorder(root, "a", &journal);
  auto* b = new Recorder(root, "b", &journal);
  new Recorder(a, "a1", &journal);
  ASSERT_EQ(root->ComponentCount(), 2);
  EXPECT_EQ(root->Components()[0], a);
  EXPECT_EQ(root->Components()[1], b);
  EXPECT_EQ(a->Owner(), root);
  delete root;
  EXPECT_EQ(journal, (std::vector<std::string>{"free root", "free b", "free a", "free a1"}));
}

TEST(BaseComponent, FreeingAnOwnedComponentLeavesItsOwnerAndTellsSiblings) {
  std::vector<std::string> journal;
  Recorder root(nullptr, "root", &journal);
  auto* port = new Recorder(&root, "port", &journal);
  auto* protocol = new Recorder(&root, "protocol", &journal);
  protocol->partner = port;
  delete port;
  EXPECT_EQ(root.ComponentCount(), 1);
  EXPECT_EQ(protocol->partner, nullptr);
  EXPECT_EQ(journal, (std::vector<std::string>{"free port", "protocol lost partner"}));
}

TEST(BaseComponent, FreeNotificationReachesComponentsOfOtherOwners) {
  std::vector<std::string> journal;
  Recorder form1(nullptr, "form1", &journal);
  Recorder form2(nullptr, "form2", &journal);
  auto* port = new Recorder(&form1, "port", &journal);
  auto* status = new Recorder(&form2, "status", &journal);
  status->partner = port;
  port->FreeNotification(status);
  delete port;
  EXPECT_EQ(status->partner, nullptr);

  // A listener that goes first is forgotten, so the later free tells nobody.
  auto* port2 = new Recorder(&form1, "port2", &journal);
  auto* listener = new Recorder(&form2, "listener", &journal);
  port2->FreeNotification(listener);
  delete listener;
  journal.clear();
  delete port2;
  EXPECT_EQ(journal, (std::vector<std::string>{"free port2"}));
}

TEST(BaseComponent, VersionIsFixedAndLoadingEndsWithLoaded) {
  std::vector<std::string> journal;
  Recorder c(nullptr, "c", &journal);
  c.SetVersion("v9");
  EXPECT_EQ(c.Version(), "v4.07");
  c.SetTag(42);
  EXPECT_EQ(c.Tag(), 42);
  EXPECT_FALSE(c.IsLoading());
  c.BeginLoading();
  EXPECT_TRUE(c.IsLoading());
  c.EndLoading();
  EXPECT_FALSE(c.IsLoading());
}

}  // namespace
}  // namespace qor
