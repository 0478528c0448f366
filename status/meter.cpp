#include "status/meter.hpp"

#include <QPainter>
#include <algorithm>

namespace qor {

TQorMeter::TQorMeter(QWidget* parent)
    : QWidget(parent),
      bar_color_(palette().color(QPalette::Highlight)),
      bevel_color1_(palette().color(QPalette::Light)),
      bevel_color2_(palette().color(QPalette::Dark)) {
  resize(150, 16);
}

void TQorMeter::SetBarColor(const QColor& color) {
  if (color == bar_color_) return;
  bar_color_ = color;
  update();
}

void TQorMeter::SetBevelColor1(const QColor& color) {
  if (color == bevel_color1_) return;
  bevel_color1_ = color;
  update();
}

void TQorMeter::SetBevelColor2(const QColor& color) {
  if (color == bevel_color2_) return;
  bevel_color2_ = color;
  update();
}

void TQorMeter::SetBevelStyle(TBevelStyle style) {
  if (style == bevel_style_) return;
  bevel_style_ = style;
  update();
}

void TQorMeter::SetPosition(std::int32_t position) {
  if (position == position_) return;
  position_ = position;
  Recalculate(false);
}

void TQorMeter::SetStep(std::int32_t step) {
  step = std::max(step, 1);
  if (step == step_) return;
  step_ = step;
  Recalculate(true);
}

void TQorMeter::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Recalculate(true);
}

void TQorMeter::Recalculate(bool force) {
  // 64-bit: a position far beyond Max must not overflow the product.
  const std::int64_t inner = std::max(width() - 4, 0);
  std::int64_t blocks = 0;
  if (position_ > min_ && max_ > min_) {
    blocks = std::max(width() - 3, 0) / step_ * (std::int64_t{position_} - min_) /
                 (std::int64_t{max_} - min_) +
             1;
  }
  const bool partial = blocks * step_ > inner;
  if (partial) {
    blocks = inner / step_;
    partial_width_ = static_cast<std::int32_t>(inner % step_);
  }
  const bool changed = blocks != blocks_ || partial != partial_;
  blocks_ = static_cast<std::int32_t>(blocks);
  partial_ = partial;
  if (changed) {
    update();
    if (OnPosChange) OnPosChange(*this);
  } else if (force) {
    update();
  }
}

void TQorMeter::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int right = width() - 1;
  const int bottom = height() - 1;
  if (bevel_style_ != bsNone) {
    const QColor& top_left = bevel_style_ == bsLowered ? bevel_color2_ : bevel_color1_;
    const QColor& bottom_right = bevel_style_ == bsLowered ? bevel_color1_ : bevel_color2_;
    // Each polyline leaves out its end point, so the corners come out as
    // they do on the classic bevels.
    painter.setPen(QPen(top_left, 1));
    const QPoint first[] = {{0, bottom}, {0, 0}, {right - 1, 0}};
    painter.drawPolyline(first, 3);
    painter.setPen(QPen(bottom_right, 1));
    const QPoint second[] = {{right, 0}, {right, bottom}, {1, bottom}};
    painter.drawPolyline(second, 3);
  }
  const int bar_height = height() - 4;
  const int block_width = std::max(step_ - 2, 0);  // 2-pixel gaps
  for (int k = 1; k <= blocks_; ++k) {
    painter.fillRect((k - 1) * step_ + 2, 2, block_width, bar_height, bar_color_);
  }
  if (partial_) painter.fillRect(blocks_ * step_ + 2, 2, partial_width_, bar_height, bar_color_);
}

}  // namespace qor
