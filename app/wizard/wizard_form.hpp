#pragma once
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <string>

#include "app/recovery/recovery_sequence.hpp"
#include "app/recovery/recovery_view.hpp"
#include "app/wizard/open_image_dialog.hpp"
#include "comm/comport/com_port.hpp"
#include "comm/device/port_table.hpp"
#include "protocols/component/protocol_component.hpp"
#include "status/protocol_status.hpp"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;

namespace qor::app {

inline constexpr const char* kApplicationTitle = "StellixUp " STELLIXUP_VERSION;

// The wizard's main window: port, image type and file, "switch the receiver
// on", and the progress of the recovery, which RecoverySequence drives.
class TForm1 : public QWidget, public IRecoveryView {
 public:
  // The port list comes from the port table over these sources.
  explicit TForm1(TPortSources port_sources = TPortSources::System(), QWidget* parent = nullptr);

  // ---- Handlers and operations
  void FormCreate();
  void FillPortList();
  void LoadSerialPorts(QStringList& strings);
  // Raises std::invalid_argument when the entry holds no port number.
  void PortListChange();
  void GoToPage(int step);
  void Button4Click();
  void Button3Click();
  void Button1Click();
  void RadioButton2Click();
  void OpenBtnClick();
  void OpenDialog1CanClose(const QString& file_name, bool& can_close);
  bool CheckImageFile(const QString& file_name);
  std::int32_t GetImageFileSize(const QString& file_name);

  // ---- IRecoveryView
  void Log(const std::string& line) override;
  void SetInfo(const std::string& text) override;
  void SetProgressMax(int max) override;
  void SetProgressPosition(int position) override;
  void ShowProgressPage() override;
  void HideNavigationButtons() override;
  void ShowCloseButton() override;
  void ShowError(const std::string& text) override;
  void ShowInformation(const std::string& text) override;
  std::string ImageFileName() override;

  // ---- State
  int PageIndex = 0;
  bool KernelSelected = true;

  // ---- Controls
  QLabel* Label2 = nullptr;
  QStackedWidget* PageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;
  QWidget* TabSheet2 = nullptr;
  QWidget* TabSheet3 = nullptr;
  QWidget* TabSheet4 = nullptr;
  QComboBox* PortList = nullptr;
  QLineEdit* Edit1 = nullptr;
  QPushButton* OpenBtn = nullptr;
  QRadioButton* RadioButton1 = nullptr;
  QRadioButton* RadioButton2 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QLabel* InfoLabel = nullptr;
  QPlainTextEdit* LogMemo = nullptr;
  QPushButton* Button4 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button3 = nullptr;
  QLabel* Image1 = nullptr;
  QLabel* Image2 = nullptr;
  TOpenImageDialog OpenDialog1;

  // ---- Components, freed in the reverse order: the sequence goes first and
  // the port outlives the protocol that sends through it.
  TQorComPort SockPort;
  TQorProtocolStatus XferStatus;
  TQorProtocol XferProtocol;
  RecoverySequence Recovery;

 private:
  void CreateControls();
  void CreatePortPage();
  void CreateFilePage();
  void CreateSwitchOnPage();
  void CreateProgressPage();
  void CreateBanners();
  void ConnectHandlers();
  QString ModeWord() const;

  TPortSources port_sources_;
};

}  // namespace qor::app
