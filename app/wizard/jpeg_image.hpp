#pragma once
#include <QByteArray>
#include <QImage>

namespace qor::app {

// Decodes a JPEG held in memory with libjpeg; a null image when the data is
// not a JPEG it can read.
QImage DecodeJpeg(const QByteArray& data);

}  // namespace qor::app
