#include "app/wizard/run_wizard.hpp"

#include <QApplication>

#include "app/wizard/exception_box.hpp"
#include "app/wizard/message_pump.hpp"
#include "app/wizard/wizard_fonts.hpp"
#include "app/wizard/wizard_form.hpp"
#include "comm/platform/exception_display.hpp"
#include "comm/platform/message_queue.hpp"
#include "dialogs/com_select_form.hpp"

namespace qor::app {

int RunWizard(int argc, char** argv) {
  platform::SetMainThread();
  QApplication application(argc, argv);
  QApplication::setApplicationName("StellixUp");
  QApplication::setApplicationVersion(STELLIXUP_VERSION);
  LoadWizardFonts();
  InstallExceptionMessageBox();
  InstallPortSelectionDialog();
  TMessagePump pump;
  int code = 0;
  {
    TForm1 form;
    form.show();
    code = QApplication::exec();
  }
  // Nothing may reach a message box once the application is gone.
  SetPortPrompt(nullptr);
  platform::SetExceptionDisplay(nullptr);
  return code;
}

}  // namespace qor::app
