#pragma once
#include <QFont>

namespace qor::app {

// Registers Tahoma with the application when the system has its files
// (Debian ships them with Wine, outside fontconfig). Safe to call again.
void LoadWizardFonts();

// The wizard's fonts by pixel height: 8 pt is 11 pixels, 7 pt 9 pixels on the
// 96-dpi screens the window was laid out for. Arial and Tahoma fall back to
// fonts of the same metrics where they are missing.
QFont ArialFont(int pixel_size, bool bold = false);
QFont TahomaFont(int pixel_size, bool bold = false);

}  // namespace qor::app
