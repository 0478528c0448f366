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
    QFontDatabase::addApplicationFont("/usr/share/wine/fonts/tahoma.ttf");
    return true;
  }();
  static_cast<void>(loaded);
}

QFont ArialFont(int pixel_size, bool bold) {
  return PixelFont({"Arial", "Liberation Sans"}, pixel_size, bold);
}

QFont TahomaFont(int pixel_size, bool bold) {
  // The bold Tahoma substitute here draws regular-weight strokes; the Arial
  // substitute's bold is really bold and a little narrower, so texts still fit.
  if (bold) return PixelFont({"Liberation Sans", "Arial"}, pixel_size, true);
  return PixelFont({"Tahoma", "Liberation Sans"}, pixel_size, false);
}

}  // namespace qor::app
