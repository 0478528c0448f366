#include "status/protocol_status.hpp"

#include "protocols/component/protocol_component.hpp"
#include "status/standard_display.hpp"

namespace qor {

TQorProtocolStatus::TQorProtocolStatus(TQorBaseComponent* owner) : TQorAbstractStatus(owner) {
  InitDisplay();
}

TQorProtocolStatus::~TQorProtocolStatus() { DestroyDisplay(); }

void TQorProtocolStatus::CreateDisplay() {
  window_ = std::make_unique<TStandardDisplay>();
  SetDisplay(window_.get());
  window_->Protocol = Protocol();
  window_->SetWindowCaption(Caption());
}

void TQorProtocolStatus::DestroyDisplay() {
  SetDisplay(nullptr);
  window_.reset();
}

void TQorProtocolStatus::Notification(TQorBaseComponent* component, TOperation operation) {
  TQorAbstractStatus::Notification(component, operation);
  // The Cancel button must not reach a protocol that is gone.
  if (window_ && Protocol() == nullptr) window_->Protocol = nullptr;
}

void TQorProtocolStatus::UpdateDisplay(bool first, bool last) {
  // A report before a protocol was attached has nothing to show.
  if (!window_ || Protocol() == nullptr) return;
  if (first) {
    window_->Protocol = Protocol();
    window_->show();
  }
  if (last) {
    window_->hide();
    return;
  }
  window_->UpdateValues(*Protocol());
  // At once: the engine keeps the main thread busy between reports.
  window_->repaint();
}

}  // namespace qor
