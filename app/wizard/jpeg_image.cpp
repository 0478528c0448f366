#include "app/wizard/jpeg_image.hpp"

#include <csetjmp>
#include <cstdio>
#include <memory>

// libjpeg's header needs FILE and size_t declared first.
#include <jpeglib.h>

namespace qor::app {

namespace {

// libjpeg reports fatal errors by calling error_exit, which must not return:
// it jumps back into DecodeJpeg. Everything the jump skips lives here, on the
// heap, so that no C++ object on the stack is left without its destructor.
struct Decoder {
  jpeg_decompress_struct info{};
  jpeg_error_mgr error{};
  std::jmp_buf failed{};
  QImage image;
};

[[noreturn]] void ErrorExit(j_common_ptr info) {
  std::longjmp(static_cast<Decoder*>(info->client_data)->failed, 1);
}

void Decode(Decoder& d, const QByteArray& data) {
  jpeg_mem_src(&d.info, reinterpret_cast<const unsigned char*>(data.constData()),
               static_cast<unsigned long>(data.size()));
  jpeg_read_header(&d.info, TRUE);
  d.info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d.info);
  d.image = QImage(static_cast<int>(d.info.output_width), static_cast<int>(d.info.output_height),
                   QImage::Format_RGB888);
  while (d.info.output_scanline < d.info.output_height) {
    JSAMPROW row = d.image.scanLine(static_cast<int>(d.info.output_scanline));
    jpeg_read_scanlines(&d.info, &row, 1);
  }
  jpeg_finish_decompress(&d.info);
}

}  // namespace

QImage DecodeJpeg(const QByteArray& data) {
  if (data.isEmpty()) return {};
  const auto d = std::make_unique<Decoder>();
  d->info.err = jpeg_std_error(&d->error);
  d->error.error_exit = ErrorExit;
  d->info.client_data = d.get();
  jpeg_create_decompress(&d->info);
  if (setjmp(d->failed) != 0) {
    jpeg_destroy_decompress(&d->info);
    return {};
  }
  Decode(*d, data);
  jpeg_destroy_decompress(&d->info);
  return d->image;
}

}  // namespace qor::app
