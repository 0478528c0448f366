#pragma once
#include <cstdint>
#include <string>

#include "comm/component/base_component.hpp"

namespace qor {

class TQorCustomProtocol;

// Where a window appears when it is shown.
enum TPosition : std::uint8_t {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter,
};

// The window of a status display, as the status component sees it; the
// toolkit side implements it, so that this library needs no toolkit.
class TStatusWindow {
 public:
  virtual ~TStatusWindow() = default;
  virtual TPosition WindowPosition() const = 0;
  virtual void SetWindowPosition(TPosition position) = 0;
  virtual bool WindowCtl3D() const = 0;
  virtual void SetWindowCtl3D(bool ctl3d) = 0;
  virtual bool WindowVisible() const = 0;
  virtual void SetWindowVisible(bool visible) = 0;
  virtual std::string WindowCaption() const = 0;
  virtual void SetWindowCaption(const std::string& caption) = 0;
};

// A display that a protocol component keeps up to date while it transfers.
// A concrete display creates its window in CreateDisplay and frees it in
// DestroyDisplay; its own constructor calls InitDisplay and its destructor
// DestroyDisplay (a base class cannot reach them while it is built or torn down).
class TQorAbstractStatus : public TQorBaseComponent {
 public:
  using TQorBaseComponent::TQorBaseComponent;

  TStatusWindow* Display() const { return display_; }

  TQorCustomProtocol* Protocol() const { return protocol_; }
  virtual void SetProtocol(TQorCustomProtocol* protocol);

  // The settings below are given to the window whenever one exists.
  TPosition Position() const { return position_; }
  void SetPosition(TPosition position);
  bool Ctl3D() const { return ctl3d_; }
  void SetCtl3D(bool ctl3d);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);

  // first: the transfer's first report; last: its last.
  virtual void UpdateDisplay(bool first, bool last) = 0;
  // Shows or hides the display's window itself, leaving the Visible property
  // as it is; the next first report shows it again.
  virtual void SetDisplayVisible(bool visible);

 protected:
  virtual void CreateDisplay() = 0;
  virtual void DestroyDisplay() = 0;
  void SetDisplay(TStatusWindow* window) { display_ = window; }
  // Creates the window and takes its settings; the caption becomes
  // "Protocol Status".
  void InitDisplay();
  void Notification(TQorBaseComponent* component, TOperation operation) override;

 private:
  TStatusWindow* display_ = nullptr;
  TPosition position_ = poDesigned;
  bool ctl3d_ = false;
  bool visible_ = false;
  std::string caption_;
  TQorCustomProtocol* protocol_ = nullptr;
  // The same object, kept to recognise it while it is being destroyed.
  TQorBaseComponent* protocol_component_ = nullptr;
};

}  // namespace qor
