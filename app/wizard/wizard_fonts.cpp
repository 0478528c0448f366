#include "app/wizard/wizard_fonts.hpp"

#include <QFontDatabase>
#include <QStringList>

namespace qor::app {

namespace {

QFont PixelFont(const QStringList& families, int pixel_size, bool bold) {
  QFont font;
  font.setFamilies(families);
  font.setPixelSize(pixel_size);
  font.setBold(bold);
  return font;
}

}  // namespace

void LoadWizardFonts() {
  static const bool loaded = [] {
    for (const char* file :
         {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
      QFontDatabase::addApplicationFont(file);
    }
    return true;
  }();
  static_cast<void>(loaded);
}

QFont ArialFont(int pixel_size, bool bold) {
  return PixelFont({"Arial", "Liberation Sans"}, pixel_size, bold);
}

QFont TahomaFont(int pixel_size, bool bold) {
  return PixelFont({"Tahoma", "Liberation Sans"}, pixel_size, bold);
}

}  // namespace qor::app
