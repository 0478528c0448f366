#pragma once
#include <QColor>
#include <QWidget>
#include <cstdint>
#include <functional>

namespace qor {

enum TBevelStyle { bsLowered, bsRaised, bsNone };

// A progress meter drawn as a row of solid blocks inside a bevel, with a
// narrower block at the end when the last whole one would not fit.
class TQorMeter : public QWidget {
 public:
  explicit TQorMeter(QWidget* parent = nullptr);

  QColor BarColor() const { return bar_color_; }
  void SetBarColor(const QColor& color);
  QColor BevelColor1() const { return bevel_color1_; }
  void SetBevelColor1(const QColor& color);
  QColor BevelColor2() const { return bevel_color2_; }
  void SetBevelColor2(const QColor& color);
  TBevelStyle BevelStyle() const { return bevel_style_; }
  void SetBevelStyle(TBevelStyle style);
  // Plain values: a change shows at the next recalculation.
  std::int32_t Max() const { return max_; }
  void SetMax(std::int32_t max) { max_ = max; }
  std::int32_t Min() const { return min_; }
  void SetMin(std::int32_t min) { min_ = min; }
  std::int32_t Position() const { return position_; }
  void SetPosition(std::int32_t position);
  // Pixels from one block's left edge to the next; below 1 counts as 1.
  std::int32_t Step() const { return step_; }
  void SetStep(std::int32_t step);

  // What the next paint draws.
  std::int32_t Blocks() const { return blocks_; }
  bool PartialBlock() const { return partial_; }
  std::int32_t PartialWidth() const { return partial_width_; }

  // After a change of the painted blocks.
  std::function<void(TQorMeter&)> OnPosChange;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Recalculate(bool force);

  QColor bar_color_;
  QColor bevel_color1_;
  QColor bevel_color2_;
  TBevelStyle bevel_style_ = bsLowered;
  std::int32_t max_ = 100;
  std::int32_t min_ = 0;
  std::int32_t position_ = 0;
  std::int32_t blocks_ = 0;
  std::int32_t step_ = 8;
  bool partial_ = false;
  std::int32_t partial_width_ = 0;
};

}  // namespace qor
