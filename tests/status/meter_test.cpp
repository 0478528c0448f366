// The progress meter: the block arithmetic and what it paints.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cstdlib>

#include "status/meter.hpp"

namespace qor::testing {
namespace {

struct BlockCase {
  int width, step, min, max, position;
  int blocks;
  bool partial;
  int partial_width;
};

class MeterBlocks : public ::testing::TestWithParam<BlockCase> {};

TEST_P(MeterBlocks, FollowTheBlockArithmetic) {
  const BlockCase& c = GetParam();
  TQorMeter meter;
  meter.resize(c.width, 20);
  meter.SetStep(c.step);
  meter.SetMin(c.min);
  meter.SetMax(c.max);
  meter.SetPosition(c.position);
  EXPECT_EQ(meter.Blocks(), c.blocks);
  EXPECT_EQ(meter.PartialBlock(), c.partial);
  if (c.partial) {
    EXPECT_EQ(meter.PartialWidth(), c.partial_width);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MeterBlocks,
    ::testing::Values(
        // 374 div 10 = 37 blocks of room; 38 at 100 % would need 380 > 373 pixels.
        BlockCase{377, 10, 0, 100, 100, 37, true, 3},    // full
        BlockCase{377, 10, 0, 100, 50, 19, false, 0},    // half
        BlockCase{377, 10, 0, 100, 1, 1, false, 0},      // any progress shows a block
        BlockCase{377, 10, 0, 100, 0, 0, false, 0},      // none
        BlockCase{377, 10, 20, 100, 20, 0, false, 0},    // Position = Min
        BlockCase{377, 10, 0, 100, 65535, 37, true, 3},  // far past Max
        BlockCase{150, 8, 0, 100, 100, 18, true, 2},     // a new meter's step
        BlockCase{377, 10, 50, 50, 60, 0, false, 0},     // no range: nothing
        BlockCase{3, 10, 0, 100, 100, 0, true, 0}));     // too narrow for a block

TEST(Meter, StepBelowOneCountsAsOne) {
  TQorMeter meter;
  for (int step : {0, -5}) {
    meter.SetStep(step);
    EXPECT_EQ(meter.Step(), 1) << step;
  }
}

TEST(Meter, NewMeterHasTheDefaults) {
  TQorMeter meter;
  EXPECT_EQ(meter.width(), 150);
  EXPECT_EQ(meter.height(), 16);
  EXPECT_EQ(meter.Min(), 0);
  EXPECT_EQ(meter.Max(), 100);
  EXPECT_EQ(meter.Step(), 8);
  EXPECT_EQ(meter.BevelStyle(), bsLowered);
  EXPECT_EQ(meter.BarColor(), meter.palette().color(QPalette::Highlight));
}

TEST(Meter, PosChangeOnlyWhenThePaintedBlocksChange) {
  TQorMeter meter;
  meter.resize(377, 20);
  meter.SetStep(10);
  int changes = 0;
  meter.OnPosChange = [&](TQorMeter&) { ++changes; };
  meter.SetPosition(1);  // 0 -> 1 block
  meter.SetPosition(2);  // still 1 block
  EXPECT_EQ(changes, 1);
  meter.SetPosition(100);  // 37 and the partial block
  meter.SetPosition(101);  // more would not fit either: the same picture
  EXPECT_EQ(changes, 2);
  meter.SetMax(200);  // a plain value: nothing happens until the next position
  EXPECT_EQ(changes, 2);
  meter.SetPosition(98);
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(meter.Blocks(), 19);  // 37 * 98 div 200 + 1
}

QImage Paint(TQorMeter& meter) {
  QImage image(meter.size(), QImage::Format_RGB32);
  image.fill(Qt::white);
  meter.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
  return image;
}

class MeterPaint : public ::testing::Test {
 protected:
  void SetUp() override {
    meter_.setAutoFillBackground(false);
    meter_.resize(377, 20);
    meter_.SetStep(10);
    meter_.SetBarColor(Qt::blue);
    meter_.SetBevelColor1(Qt::green);
    meter_.SetBevelColor2(Qt::red);
  }
  TQorMeter meter_;
};

TEST_F(MeterPaint, FullBarIs37BlocksAndThreePixels) {
  meter_.SetPosition(100);
  const QImage image = Paint(meter_);
  if (const char* dir = std::getenv("QOR_SCREENSHOT_DIR")) {
    image.scaled(image.width() * 3, image.height() * 3).save(QString(dir) + "/meter_full.png");
  }
  const int middle = 10;
  for (int k = 1; k <= 37; ++k) {
    const int left = (k - 1) * 10 + 2;
    EXPECT_EQ(image.pixelColor(left, middle), QColor(Qt::blue)) << "block " << k;
    EXPECT_EQ(image.pixelColor(left + 7, middle), QColor(Qt::blue)) << "block " << k;
    EXPECT_EQ(image.pixelColor(left + 8, middle), QColor(Qt::white)) << "gap after " << k;
    EXPECT_EQ(image.pixelColor(left + 9, middle), QColor(Qt::white)) << "gap after " << k;
  }
  for (int x = 372; x < 375; ++x) EXPECT_EQ(image.pixelColor(x, middle), QColor(Qt::blue)) << x;
  EXPECT_EQ(image.pixelColor(375, middle), QColor(Qt::white));
  // Blocks run from row 2 to row Height - 3.
  EXPECT_EQ(image.pixelColor(2, 1), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(2, 2), QColor(Qt::blue));
  EXPECT_EQ(image.pixelColor(2, 17), QColor(Qt::blue));
  EXPECT_EQ(image.pixelColor(2, 18), QColor(Qt::white));
}

struct BevelCase {
  TBevelStyle style;
  QColor top_left, bottom_right;
};

class MeterBevel : public MeterPaint, public ::testing::WithParamInterface<BevelCase> {};

TEST_P(MeterBevel, EdgesTakeTheirColours) {
  meter_.SetBevelStyle(GetParam().style);
  const QImage image = Paint(meter_);
  const QColor tl = GetParam().top_left, br = GetParam().bottom_right;
  EXPECT_EQ(image.pixelColor(0, 10), tl);    // left edge
  EXPECT_EQ(image.pixelColor(100, 0), tl);   // top edge
  EXPECT_EQ(image.pixelColor(0, 19), tl);    // bottom-left corner: the first line's start
  EXPECT_EQ(image.pixelColor(376, 10), br);  // right edge
  EXPECT_EQ(image.pixelColor(100, 19), br);  // bottom edge
  EXPECT_EQ(image.pixelColor(376, 0), br);   // top-right corner: the second line's start
  EXPECT_EQ(image.pixelColor(1, 10), QColor(Qt::white));  // no block at position 0
}

INSTANTIATE_TEST_SUITE_P(Styles, MeterBevel,
                         ::testing::Values(BevelCase{bsLowered, Qt::red, Qt::green},
                                           BevelCase{bsRaised, Qt::green, Qt::red},
                                           BevelCase{bsNone, Qt::white, Qt::white}));

}  // namespace
}  // namespace qor::testing
