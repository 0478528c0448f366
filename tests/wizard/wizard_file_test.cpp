// Choosing and checking the image file.
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cctype>

#include "tests/wizard/wizard_fixture.hpp"

namespace qor::testing {
namespace {

struct CheckCase {
  const char* name;
  std::string_view bytes;
  bool rootfs_type;
  bool passes;
};

class ImageCheck : public WizardTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(ImageCheck, SignatureOfTheChosenType) {
  const CheckCase& c = GetParam();
  (c.rootfs_type ? form_.RadioButton2 : form_.RadioButton1)->setChecked(true);
  EXPECT_EQ(form_.CheckImageFile(ImageFile("image.bin", c.bytes)), c.passes);
  EXPECT_TRUE(boxes_.shown.empty());
}

std::string Bytes(std::string_view start, std::string_view rest) {
  return std::string(start) + std::string(rest);
}
const std::string kKernelImage = Bytes(kKernelStart, "\xFF\xD8 whatever follows\n");
const std::string kRootFsImage = Bytes(kRootFsStart, std::string(300, '\x1A'));

INSTANTIATE_TEST_SUITE_P(
    Cases, ImageCheck,
    ::testing::Values(CheckCase{"kernel", kKernelImage, false, true},
                      CheckCase{"kernel as rootfs", kKernelImage, true, false},
                      CheckCase{"rootfs", kRootFsImage, true, true},
                      CheckCase{"rootfs as kernel", kRootFsImage, false, false},
                      CheckCase{"wrong signature", "\x00\x52\x50\x4F\x01"sv, false, false},
                      CheckCase{"four bytes", kKernelStart.substr(0, 4), false, false},
                      CheckCase{"short first line", "\x00\x52\n\x50\x4F\x00"sv, false, false},
                      CheckCase{"empty", ""sv, false, false}),
    [](const auto& test) {
      std::string name = test.param.name;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

TEST_F(WizardTest, ImageInADeepFolderIsCheckedByItsFullPath) {
  const std::string deep = std::string(60, 'd') + "/" + std::string(60, 'e') + "/kernel.img";
  const QString path = ImageFile(deep, kKernelImage);
  ASSERT_GT(path.size(), 80);
  EXPECT_TRUE(form_.CheckImageFile(path));
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(WizardTest, AcceptedFileFillsTheBoxAndTheSize) {
  const QString path = ImageFile("kernel.img", kKernelImage);
  QTest::mouseClick(form_.Button4, Qt::LeftButton);  // to the file page
  ASSERT_FALSE(form_.Button4->isEnabled());
  bool can_close = true;
  form_.OpenDialog1CanClose(path, can_close);
  EXPECT_TRUE(can_close);
  EXPECT_EQ(form_.Edit1->text(), path);
  EXPECT_EQ(form_.ImageFileName(), path.toStdString());
  EXPECT_EQ(form_.Recovery.ImageFileSize, static_cast<std::int32_t>(kKernelImage.size()));
  EXPECT_TRUE(form_.Button4->isEnabled());
  EXPECT_EQ(form_.GetImageFileSize(path), static_cast<std::int32_t>(kKernelImage.size()));
  EXPECT_EQ(form_.GetImageFileSize(Missing()), -1);
}

TEST_F(WizardTest, RefusedFileKeepsTheDialogOpenWithItsMessages) {
  const QString wrong = ImageFile("rootfs.img", kRootFsImage);
  const QString kernel = ImageFile("kernel.img", kKernelImage);
  const QString unreadable = Missing();
  struct Refusal {
    QString file;
    bool rootfs_type;
    std::vector<ShownMessage> messages;
  };
  const Refusal refusals[] = {
      {wrong,
       false,
       {{"Error", QMessageBox::Critical, "Файл \"" + wrong + "\" не является файлом KERNEL"}}},
      {kernel,
       true,
       {{"Error", QMessageBox::Critical, "Файл \"" + kernel + "\" не является файлом RootFS"}}},
      // Both messages, the access error first.
      {unreadable,
       false,
       {{"Error", QMessageBox::Critical, "Ошибка доступа к файлу " + unreadable},
        {"Error", QMessageBox::Critical, "Файл \"" + unreadable + "\" не является файлом KERNEL"}}},
  };
  for (const Refusal& r : refusals) {
    (r.rootfs_type ? form_.RadioButton2 : form_.RadioButton1)->setChecked(true);
    boxes_.shown.clear();
    bool can_close = true;
    form_.OpenDialog1CanClose(r.file, can_close);
    EXPECT_FALSE(can_close);
    EXPECT_EQ(boxes_.shown, r.messages);
    EXPECT_TRUE(form_.Edit1->text().isEmpty());
  }
}

// Through the real dialog: a refused file leaves it open, a good one closes it.
TEST_F(WizardTest, FileDialogStaysOpenUntilAnImagePasses) {
  const QString wrong = ImageFile("wrong.img", "not an image at all");
  const QString good = ImageFile("kernel.img", kKernelImage);
  bool stayed_open = false;
  QStringList name_filters;
  QTimer::singleShot(0, [&] {
    QFileDialog* dialog = form_.OpenDialog1.Window();
    name_filters = dialog->nameFilters();
    dialog->selectFile(wrong);
    static_cast<QDialog*>(dialog)->accept();
    stayed_open = dialog->isVisible();
    dialog->selectFile(good);
    static_cast<QDialog*>(dialog)->accept();
  });
  QTest::mouseClick(form_.Button4, Qt::LeftButton);  // to the file page
  QTest::mouseClick(form_.OpenBtn, Qt::LeftButton);
  EXPECT_TRUE(stayed_open);
  EXPECT_EQ(name_filters, QStringList{"Stellix Kernel (*)"});
  EXPECT_EQ(form_.OpenDialog1.Window(), nullptr);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "Файл \"" + wrong + "\" не является файлом KERNEL");
  EXPECT_EQ(form_.Edit1->text(), good);
  EXPECT_TRUE(form_.Button4->isEnabled());
}

TEST_F(WizardTest, CancellingTheFileDialogChangesNothing) {
  QTimer::singleShot(0, [&] { form_.OpenDialog1.Window()->reject(); });
  QTest::mouseClick(form_.Button4, Qt::LeftButton);  // to the file page
  QTest::mouseClick(form_.OpenBtn, Qt::LeftButton);
  EXPECT_TRUE(form_.Edit1->text().isEmpty());
  EXPECT_FALSE(form_.Button4->isEnabled());
  EXPECT_TRUE(boxes_.shown.empty());
}

}  // namespace
}  // namespace qor::testing
