#pragma once
#include <QWidget>
#include <array>
#include <cstdint>

#include "protocols/component/abstract_status.hpp"

class QFrame;
class QLabel;
class QPushButton;

namespace qor {

class TQorCustomProtocol;
class TQorMeter;

// The standard status window: what a protocol component is doing, its figures,
// a meter and a Cancel button. It is hidden until a transfer's first report.
class TStandardDisplay : public QWidget, public TStatusWindow {
 public:
  explicit TStandardDisplay(QWidget* parent = nullptr);

  // Fills every value label, and the meter, from the protocol's run-time values.
  void UpdateValues(TQorCustomProtocol& protocol);
  // Cancels the transfer of Protocol.
  void CancelClick();

  // The protocol whose transfer the Cancel button stops.
  TQorCustomProtocol* Protocol = nullptr;

  QLabel* psProtocol = nullptr;
  QLabel* psBlockCheck = nullptr;
  QLabel* psFileName = nullptr;
  QLabel* psFileSize = nullptr;
  QLabel* psBlockSize = nullptr;
  QLabel* psTotalBlocks = nullptr;
  QLabel* psBytesTransferred = nullptr;
  QLabel* psBytesRemaining = nullptr;
  QLabel* psBlocksTransferred = nullptr;
  QLabel* psBlocksRemaining = nullptr;
  QLabel* psBlockErrors = nullptr;
  QLabel* psTotalErrors = nullptr;
  QLabel* psEstimatedTime = nullptr;
  QLabel* psElapsedTime = nullptr;
  QLabel* psRemainingTime = nullptr;
  QLabel* psThroughput = nullptr;
  QLabel* psEfficiency = nullptr;
  QLabel* psKermitWindows = nullptr;
  QLabel* psStatusMsg = nullptr;
  QPushButton* psCancel = nullptr;
  QFrame* psPanel1 = nullptr;
  QFrame* psPanel6 = nullptr;
  TQorMeter* Meter = nullptr;
  // The meter's last position, as a percentage.
  std::uint16_t LastPercentage = 0;

  // ---- TStatusWindow
  TPosition WindowPosition() const override { return position_; }
  void SetWindowPosition(TPosition position) override { position_ = position; }
  bool WindowCtl3D() const override { return ctl3d_; }
  void SetWindowCtl3D(bool ctl3d) override;
  bool WindowVisible() const override { return isVisible(); }
  void SetWindowVisible(bool visible) override { setVisible(visible); }
  std::string WindowCaption() const override { return windowTitle().toStdString(); }
  void SetWindowCaption(const std::string& caption) override;

  void setVisible(bool visible) override;

 private:
  QFrame* AddPanel(int left, int top, int width, int height);
  // A caption at the panel's left and a value label ending near its right side.
  QLabel* AddRow(QFrame* panel, int top, const char* caption, const char* initial);
  void PlaceWindow();

  std::array<QFrame*, 6> panels_{};
  int panel_count_ = 0;
  TPosition position_ = poScreenCenter;
  bool ctl3d_ = true;
};

}  // namespace qor
