#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qor {

enum class TOperation { opInsert, opRemove };

// Base of the library's non-visual components: an owner that frees what it owns,
// a name, a tag, and notifications when components come and go.
class TQorBaseComponent {
 public:
  explicit TQorBaseComponent(TQorBaseComponent* owner = nullptr);
  TQorBaseComponent(const TQorBaseComponent&) = delete;
  TQorBaseComponent& operator=(const TQorBaseComponent&) = delete;

  // Tells everyone registered by FreeNotification, frees the owned components
  // (last first) and leaves the owner.
  virtual ~TQorBaseComponent();

  TQorBaseComponent* Owner() const { return owner_; }
  // Owned components in the order they were inserted.
  const std::vector<TQorBaseComponent*>& Components() const { return components_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  std::intptr_t Tag() const { return tag_; }
  void SetTag(std::intptr_t tag) { tag_ = tag; }

  // Always "v4.07"; writing it does nothing.
  std::string Version() const { return "v4.07"; }
  void SetVersion(const std::string&) {}

  // While loading, property setters store values without raising errors; the
  // end of loading calls Loaded.
  bool IsLoading() const { return loading_; }
  void BeginLoading() { loading_ = true; }
  void EndLoading();
  bool IsDesigning() const { return designing_; }
  void SetDesigning(bool designing) { designing_ = designing; }
  bool IsDestroying() const { return destroying_; }

  // Asks for a Notification(other, opRemove) when other is destroyed, for a
  // component that refers to one it does not own. Both sides forget each other
  // when either goes.
  void FreeNotification(TQorBaseComponent* other);
  void RemoveFreeNotification(TQorBaseComponent* other);

 protected:
  // Told that component was inserted into or removed from this owner (passed
  // on to every owned component) or, by FreeNotification, is being destroyed.
  // Overrides call the base version.
  virtual void Notification(TQorBaseComponent* component, TOperation operation);
  virtual void Loaded() {}
  // Tells the owner (and so its components) once more that this component was
  // inserted. A class whose kind matters to its siblings calls it at the end of
  // its constructor: during the base constructor it is not that kind yet.
  void AnnounceToOwner();

 private:
  void InsertComponent(TQorBaseComponent* component);
  void RemoveComponent(TQorBaseComponent* component);

  TQorBaseComponent* owner_ = nullptr;
  std::vector<TQorBaseComponent*> components_;
  std::vector<TQorBaseComponent*> free_notifies_;
  std::string name_;
  std::intptr_t tag_ = 0;
  bool loading_ = false;
  bool designing_ = false;
  bool destroying_ = false;
};

}  // namespace qor
