#include "comm/component/base_component.hpp"

#include <algorithm>

namespace qor {

namespace {

void Erase(std::vector<TQorBaseComponent*>& list, TQorBaseComponent* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

}  // namespace

TQorBaseComponent::TQorBaseComponent(TQorBaseComponent* owner) {
  if (owner != nullptr) owner->InsertComponent(this);
}

TQorBaseComponent::~TQorBaseComponent() {
  destroying_ = true;
  // Each notified component forgets us, so take them off the list one by one.
  while (!free_notifies_.empty()) {
    TQorBaseComponent* other = free_notifies_.back();
    free_notifies_.pop_back();
    Erase(other->free_notifies_, this);
    other->Notification(this, TOperation::opRemove);
  }
  // An owned component is taken out before it is freed, so its siblings are
  // told only through FreeNotification.
  while (!components_.empty()) {
    TQorBaseComponent* child = components_.back();
    components_.pop_back();
    child->owner_ = nullptr;
    delete child;
  }
  if (owner_ != nullptr) owner_->RemoveComponent(this);
}

void TQorBaseComponent::AnnounceToOwner() {
  if (owner_ != nullptr) owner_->Notification(this, TOperation::opInsert);
}

void TQorBaseComponent::EndLoading() {
  if (!loading_) return;
  loading_ = false;
  Loaded();
}

void TQorBaseComponent::FreeNotification(TQorBaseComponent* other) {
  if (other == nullptr || other == this) return;
  if (std::find(free_notifies_.begin(), free_notifies_.end(), other) == free_notifies_.end()) {
    free_notifies_.push_back(other);
    other->free_notifies_.push_back(this);
  }
}

void TQorBaseComponent::RemoveFreeNotification(TQorBaseComponent* other) {
  if (other == nullptr) return;
  Erase(free_notifies_, other);
  Erase(other->free_notifies_, this);
}

void TQorBaseComponent::Notification(TQorBaseComponent* component, TOperation operation) {
  if (operation == TOperation::opRemove) RemoveFreeNotification(component);
  // A copy: a handler may free or add components while we walk.
  const std::vector<TQorBaseComponent*> owned = components_;
  for (TQorBaseComponent* child : owned) {
    if (std::find(components_.begin(), components_.end(), child) != components_.end()) {
      child->Notification(component, operation);
    }
  }
}

void TQorBaseComponent::InsertComponent(TQorBaseComponent* component) {
  components_.push_back(component);
  component->owner_ = this;
  Notification(component, TOperation::opInsert);
}

void TQorBaseComponent::RemoveComponent(TQorBaseComponent* component) {
  Notification(component, TOperation::opRemove);
  Erase(components_, component);
  component->owner_ = nullptr;
}

}  // namespace qor
