#include "output/JpegWriter.h"

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include <jpeglib.h>

#include "image/DibImage.h"
#include "platform/SafeFile.h"

namespace quorel {

namespace {

struct FileCloser {
  void operator()(std::FILE *file) const {
    if (file != nullptr) std::fclose(file);
  }
};

// The library's standard error manager ends the process on an error. Ours
// jumps back to the recovery point set in EncodeRows so that the writer can
// clean up and report 0 instead.
struct ErrorManager {
  jpeg_error_mgr base;  // first member: the library sees a jpeg_error_mgr *
  std::jmp_buf recovery;
};

[[noreturn]] void JumpToRecovery(j_common_ptr cinfo) {
  // The standard manager's message goes nowhere: the library stays silent by
  // default and the caller sees the failure in the result.
  auto *manager = reinterpret_cast<ErrorManager *>(cinfo->err);
  std::longjmp(manager->recovery, 1);
}

// Everything between the recovery point and the library's error jump lives
// here and holds only trivially destructible locals, so the jump skips no
// destructor. Returns false when the library reported an error.
bool EncodeRows(jpeg_compress_struct *cinfo, ErrorManager *errors, std::FILE *file, const DibImage &image, int quality,
                bool progressive, JSAMPLE *row) {
  if (setjmp(errors->recovery) != 0) return false;

  jpeg_create_compress(cinfo);
  jpeg_stdio_dest(cinfo, file);

  const bool gray = image.bitsPerPixel() == 8;
  cinfo->image_width = static_cast<JDIMENSION>(image.width());
  cinfo->image_height = static_cast<JDIMENSION>(image.height());
  cinfo->input_components = gray ? 1 : 3;
  cinfo->in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, quality, TRUE);
  if (progressive) jpeg_simple_progression(cinfo);
  jpeg_start_compress(cinfo, TRUE);

  const size_t width = static_cast<size_t>(image.width());
  const size_t stride = static_cast<size_t>(image.stride());
  const uint8_t *pixels = image.pixels();
  for (int memoryRow = image.height() - 1; memoryRow >= 0; --memoryRow) {
    const uint8_t *source = pixels + static_cast<size_t>(memoryRow) * stride;
    if (gray) {
      for (size_t x = 0; x < width; ++x) row[x] = source[x];
    } else {
      for (size_t x = 0; x < width; ++x) {
        row[3 * x] = source[3 * x + 2];
        row[3 * x + 1] = source[3 * x + 1];
        row[3 * x + 2] = source[3 * x];
      }
    }
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(cinfo, rows, 1);
  }
  jpeg_finish_compress(cinfo);
  return true;
}

}  // namespace

int WriteJpeg(const char *path, const DibImage &image, int quality, bool progressive) {
  if (path == nullptr || path[0] == '\0' || image.empty()) return 0;
  const int bits = image.bitsPerPixel();
  if (bits != 8 && bits != 24) return 0;
  if (quality < 1 || quality > 100) return 0;

  std::vector<JSAMPLE> row;
  try {
    row.resize(static_cast<size_t>(image.width()) * (bits == 8 ? 1u : 3u));
  } catch (const std::bad_alloc &) {
    return 0;
  }

  std::unique_ptr<std::FILE, FileCloser> file(OpenRegularFileStream(path));
  if (!file) return 0;

  jpeg_compress_struct cinfo{};
  ErrorManager errors{};
  cinfo.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = JumpToRecovery;

  const bool encoded = EncodeRows(&cinfo, &errors, file.get(), image, quality, progressive, row.data());
  // Safe after a failure at any stage: destroy only frees what was created.
  jpeg_destroy_compress(&cinfo);

  // The destination manager flushes into the stdio buffer; the last of it
  // reaches the disk only on close, where a full disk shows up.
  const bool flushed = std::fflush(file.get()) == 0 && std::ferror(file.get()) == 0;
  const bool closed = std::fclose(file.release()) == 0;
  return encoded && flushed && closed ? 1 : 0;
}

}  // namespace quorel
