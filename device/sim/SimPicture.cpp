#include "device/sim/SimPicture.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

#include "device/sim/SimFrameLayout.h"
#include "platform/SafeFile.h"

namespace quorel::sim {
namespace {

// The largest picture worth reading: the whole sensor as a 16-bit PPM, with
// room for its header. Larger files (or /dev/zero) are refused, not read.
constexpr size_t kMaxPictureBytes = size_t{kSensorWidth} * kSensorHeight * 6 + 4096;

// Reads one unsigned decimal header token of a PPM, skipping white space and
// comments. False when the header ends or the number is out of range.
bool ReadPpmNumber(const std::vector<uint8_t> &data, size_t *pos, long *value) {
  size_t p = *pos;
  for (;;) {
    while (p < data.size() && std::isspace(data[p])) ++p;
    if (p < data.size() && data[p] == '#') {
      while (p < data.size() && data[p] != '\n') ++p;
      continue;
    }
    break;
  }
  if (p >= data.size() || !std::isdigit(data[p])) return false;
  long v = 0;
  while (p < data.size() && std::isdigit(data[p])) {
    v = v * 10 + (data[p] - '0');
    if (v > 1000000) return false;
    ++p;
  }
  *value = v;
  *pos = p;
  return true;
}

bool DecodePpm(const std::vector<uint8_t> &data, SimPicture *picture, std::string *error) {
  size_t pos = 2;
  long width = 0, height = 0, maxval = 0;
  if (!ReadPpmNumber(data, &pos, &width) || !ReadPpmNumber(data, &pos, &height) ||
      !ReadPpmNumber(data, &pos, &maxval) || pos >= data.size() || !std::isspace(data[pos])) {
    *error = "damaged PPM header";
    return false;
  }
  ++pos;  // the single white-space byte before the samples
  if (width < 1 || height < 1 || maxval < 1 || maxval > 65535 ||
      static_cast<size_t>(width) * static_cast<size_t>(height) > kMaxPicturePixels) {
    *error = "unsupported PPM size or sample range";
    return false;
  }
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  const size_t bytesPerSample = maxval > 255 ? 2 : 1;
  if (data.size() - pos < pixels * 3 * bytesPerSample) {
    *error = "PPM file is shorter than its header says";
    return false;
  }
  picture->width = static_cast<int>(width);
  picture->height = static_cast<int>(height);
  picture->rgb.resize(pixels * 3);
  const uint8_t *src = data.data() + pos;
  for (size_t i = 0; i < pixels * 3; ++i) {
    const uint32_t v = bytesPerSample == 2 ? (uint32_t{src[2 * i]} << 8 | src[2 * i + 1]) : src[i];
    picture->rgb[i] = static_cast<uint16_t>(std::min<uint32_t>(v, static_cast<uint32_t>(maxval)) * 65535u /
                                            static_cast<uint32_t>(maxval));
  }
  return true;
}

bool DecodePng(const std::vector<uint8_t> &data, SimPicture *picture, std::string *error) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data.data(), data.size())) {
    *error = std::string("damaged PNG file: ") + image.message;
    return false;
  }
  // Frees libpng's state on every path out of here.
  std::unique_ptr<png_image, void (*)(png_image *)> guard(&image, [](png_image *p) { png_image_free(p); });
  if (static_cast<size_t>(image.width) * image.height > kMaxPicturePixels) {
    *error = "PNG picture is too large";
    return false;
  }
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb8(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb8.data(), 0, nullptr)) {
    *error = std::string("damaged PNG file: ") + image.message;
    return false;
  }
  picture->width = static_cast<int>(image.width);
  picture->height = static_cast<int>(image.height);
  picture->rgb.resize(rgb8.size());
  for (size_t i = 0; i < rgb8.size(); ++i) picture->rgb[i] = static_cast<uint16_t>(rgb8[i] * 257u);
  return true;
}

}  // namespace

bool LoadSimPicture(const std::string &path, SimPicture *picture, std::string *error) {
  std::string bytes, readWhy;
  if (!ReadRegularFile(path.c_str(), kMaxPictureBytes, &bytes, &readWhy)) {
    *error = "cannot read picture file \"" + path + "\": " + readWhy;
    return false;
  }
  std::vector<uint8_t> data(bytes.begin(), bytes.end());
  std::string why;
  bool ok;
  if (data.size() >= 2 && data[0] == 'P' && data[1] == '6') {
    ok = DecodePpm(data, picture, &why);
  } else if (data.size() >= 8 && png_sig_cmp(data.data(), 0, 8) == 0) {
    ok = DecodePng(data, picture, &why);
  } else {
    ok = false;
    why = "not a PPM (P6) or PNG file";
  }
  if (!ok) *error = "picture file \"" + path + "\": " + why;
  return ok;
}

}  // namespace quorel::sim
