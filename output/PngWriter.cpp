#include "output/PngWriter.h"

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include <png.h>

#include "platform/SafeFile.h"

namespace quorel {

namespace {

struct FileCloser {
  void operator()(std::FILE *file) const {
    if (file != nullptr) std::fclose(file);
  }
};

// Owns the write and info structures; destroying a null pair is harmless.
struct PngWriteHandles {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngWriteHandles() {
    if (png != nullptr) png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
  }
};

// Prints the library's message and returns to the recovery point of
// EncodeImage; returning to the library after an error is not allowed.
[[noreturn]] void ReportAndRecover(png_structp png, png_const_charp message) {
  std::fprintf(stderr, "libpng error: %s\n", message);
  std::fflush(stderr);
  png_longjmp(png, 1);
}

struct Layout {
  int bitDepth;
  int colorType;
};

bool LayoutFor(int bitsPerPixel, Layout *layout) {
  switch (bitsPerPixel) {
    case 8:
      *layout = {8, PNG_COLOR_TYPE_GRAY};
      return true;
    case 16:
      *layout = {16, PNG_COLOR_TYPE_GRAY};
      return true;
    case 24:
      *layout = {8, PNG_COLOR_TYPE_RGB};
      return true;
    case 32:
      *layout = {8, PNG_COLOR_TYPE_RGB_ALPHA};
      return true;
    case 48:
      *layout = {16, PNG_COLOR_TYPE_RGB};
      return true;
    case 64:
      *layout = {16, PNG_COLOR_TYPE_RGB_ALPHA};
      return true;
    default:
      return false;
  }
}

// Between the recovery point and any library error only trivially
// destructible locals live here; the row pointers belong to the caller so
// that the jump skips no destructor. Returns false when an error was raised.
bool EncodeImage(png_structp png, png_infop info, std::FILE *file, const uint8_t *pixels, int width, int height,
                 int bitsPerPixel, const Layout &layout, std::vector<png_bytep> *rows) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;

  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), layout.bitDepth,
               layout.colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  // The buffers hold blue, green, red; the library swaps red and blue back
  // per 8-bit byte or per 16-bit sample.
  png_set_bgr(png);
  // PNG stores 16-bit samples most significant byte first; the buffers hold
  // little-endian words. Swapping in the library's row buffer saves a
  // full-size copy of the image.
  if (layout.bitDepth == 16) png_set_swap(png);

  bool allocated = true;
  try {
    rows->resize(static_cast<size_t>(height));
  } catch (const std::bad_alloc &) {
    allocated = false;
  }
  if (!allocated) png_error(png, "Zoravidur: Out of memory");

  const size_t stride = (static_cast<size_t>(width) * static_cast<size_t>(bitsPerPixel / 8) + 3) & ~size_t{3};
  for (size_t i = 0; i < rows->size(); ++i) {
    // libpng only reads the rows; its interface is not const-qualified.
    (*rows)[i] = const_cast<png_bytep>(pixels + i * stride);
  }
  png_write_image(png, rows->data());
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

int WritePng(const char *path, const uint8_t *pixels, int width, int height, int bitsPerPixel) {
  if (path == nullptr || path[0] == '\0' || pixels == nullptr || width <= 0 || height <= 0) return 0;
  Layout layout{};
  if (!LayoutFor(bitsPerPixel, &layout)) return 0;

  std::unique_ptr<std::FILE, FileCloser> file(OpenRegularFileStream(path));
  if (!file) return 0;

  PngWriteHandles handles;
  handles.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ReportAndRecover, nullptr);
  if (handles.png == nullptr) return 0;
  handles.info = png_create_info_struct(handles.png);
  if (handles.info == nullptr) return 0;

  std::vector<png_bytep> rows;
  const bool encoded =
      EncodeImage(handles.png, handles.info, file.get(), pixels, width, height, bitsPerPixel, layout, &rows);
  if (!encoded) return 0;

  // libpng writes through stdio; the last buffered bytes reach the disk only
  // on close, where a full disk shows up.
  const bool flushed = std::fflush(file.get()) == 0 && std::ferror(file.get()) == 0;
  const bool closed = std::fclose(file.release()) == 0;
  return flushed && closed ? 1 : 0;
}

}  // namespace quorel
