#pragma once
#include <memory>

#include "protocols/component/abstract_status.hpp"

namespace qor {

class TStandardDisplay;

// The standard status display of a protocol component: a TStandardDisplay
// window, shown on a transfer's first report, refreshed on every report and
// hidden on the last.
class TQorProtocolStatus : public TQorAbstractStatus {
 public:
  explicit TQorProtocolStatus(TQorBaseComponent* owner = nullptr);
  ~TQorProtocolStatus() override;

  void UpdateDisplay(bool first, bool last) override;
  TStandardDisplay* Window() const { return window_.get(); }

 protected:
  void CreateDisplay() override;
  void DestroyDisplay() override;
  void Notification(TQorBaseComponent* component, TOperation operation) override;

 private:
  std::unique_ptr<TStandardDisplay> window_;
};

}  // namespace qor
