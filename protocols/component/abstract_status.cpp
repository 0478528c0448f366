#include "protocols/component/abstract_status.hpp"

#include "protocols/component/protocol_component.hpp"

namespace qor {

void TQorAbstractStatus::SetProtocol(TQorCustomProtocol* protocol) {
  if (protocol == protocol_) return;
  if (protocol_component_ != nullptr) RemoveFreeNotification(protocol_component_);
  protocol_ = protocol;
  protocol_component_ = protocol;
  // A display may outlive the protocol it shows.
  if (protocol_component_ != nullptr) FreeNotification(protocol_component_);
}

void TQorAbstractStatus::SetPosition(TPosition position) {
  if (position == position_) return;
  position_ = position;
  if (display_ != nullptr) display_->SetWindowPosition(position);
}

void TQorAbstractStatus::SetCtl3D(bool ctl3d) {
  if (ctl3d == ctl3d_) return;
  ctl3d_ = ctl3d;
  if (display_ != nullptr) display_->SetWindowCtl3D(ctl3d);
}

void TQorAbstractStatus::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (display_ != nullptr) display_->SetWindowVisible(visible);
}

void TQorAbstractStatus::SetCaption(const std::string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  if (display_ != nullptr) display_->SetWindowCaption(caption);
}

void TQorAbstractStatus::SetDisplayVisible(bool visible) {
  if (display_ != nullptr) display_->SetWindowVisible(visible);
}

void TQorAbstractStatus::InitDisplay() {
  CreateDisplay();
  if (display_ != nullptr) {
    SetPosition(display_->WindowPosition());
    SetCtl3D(display_->WindowCtl3D());
    SetVisible(display_->WindowVisible());
    SetCaption(display_->WindowCaption());
  }
  SetCaption("Protocol Status");
}

void TQorAbstractStatus::Notification(TQorBaseComponent* component, TOperation operation) {
  TQorBaseComponent::Notification(component, operation);
  if (operation == TOperation::opRemove && component == protocol_component_) {
    protocol_ = nullptr;
    protocol_component_ = nullptr;
  }
}

}  // namespace qor
