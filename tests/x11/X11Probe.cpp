#include "x11/X11Probe.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <png.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

namespace quorel::test {
namespace {

Display *g_probeDisplay = nullptr;
std::atomic<int> g_foreignErrors{0};

// The probe inspects windows that may vanish under it; its own errors are
// expected answers. An error of any other connection reaching this
// process-wide handler is counted: the library must keep its own.
int CountErrors(Display *display, XErrorEvent *) {
  if (display != g_probeDisplay) g_foreignErrors.fetch_add(1);
  return 0;
}

uint8_t Channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  const int shift = __builtin_ctzl(mask);
  const int bits = __builtin_popcountl(mask);
  const unsigned long value = (pixel & mask) >> shift;
  return static_cast<uint8_t>(bits >= 8 ? value >> (bits - 8) : value << (8 - bits));
}

}  // namespace

X11Probe::X11Probe() {
  XSetErrorHandler(CountErrors);
  display_ = XOpenDisplay(nullptr);
  g_probeDisplay = display_;
}

int X11Probe::ForeignErrors() {
  return g_foreignErrors.load();
}

X11Probe::~X11Probe() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

Window X11Probe::root() const {
  return DefaultRootWindow(display_);
}

int X11Probe::screenWidth() const {
  return DisplayWidth(display_, DefaultScreen(display_));
}

int X11Probe::screenHeight() const {
  return DisplayHeight(display_, DefaultScreen(display_));
}

bool X11Probe::Exists(Window window) {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display_, window, &attributes) != 0;
}

std::vector<Window> X11Probe::Children(Window parent) {
  Window rootReturn = 0, parentReturn = 0;
  Window *children = nullptr;
  unsigned count = 0;
  std::vector<Window> result;
  if (XQueryTree(display_, parent, &rootReturn, &parentReturn, &children, &count) != 0) {
    result.assign(children, children + count);
    if (children != nullptr) XFree(children);
  }
  return result;
}

std::vector<Window> X11Probe::TopLevelsTitled(const std::string &title) {
  std::vector<Window> result;
  for (Window w : Children(root())) {
    if (Title(w) == title) result.push_back(w);
  }
  return result;
}

std::string X11Probe::Title(Window window) {
  const Atom name = XInternAtom(display_, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
  Atom type = 0;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char *data = nullptr;
  std::string result;
  if (XGetWindowProperty(display_, window, name, 0, 1024, False, utf8, &type, &format, &items, &after, &data) ==
          Success &&
      data != nullptr) {
    result.assign(reinterpret_cast<char *>(data), items);
  }
  if (data != nullptr) XFree(data);
  return result;
}

std::string X11Probe::WmName(Window window) {
  char *name = nullptr;
  std::string result;
  if (XFetchName(display_, window, &name) != 0 && name != nullptr) result = name;
  if (name != nullptr) XFree(name);
  return result;
}

std::string X11Probe::ClassName(Window window) {
  XClassHint hint{};
  std::string result;
  if (XGetClassHint(display_, window, &hint) != 0) {
    if (hint.res_class != nullptr) result = hint.res_class;
    if (hint.res_name != nullptr) XFree(hint.res_name);
    if (hint.res_class != nullptr) XFree(hint.res_class);
  }
  return result;
}

long X11Probe::ChildId(Window window) {
  const Atom property = XInternAtom(display_, "_QUOREL_CHILD_ID", False);
  Atom type = 0;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char *data = nullptr;
  long result = -1;
  if (XGetWindowProperty(display_, window, property, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after, &data) ==
          Success &&
      data != nullptr && items == 1 && format == 32) {
    result = *reinterpret_cast<long *>(data);
  }
  if (data != nullptr) XFree(data);
  return result;
}

bool X11Probe::Mapped(Window window) {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display_, window, &attributes) != 0 && attributes.map_state != IsUnmapped;
}

WindowGeometry X11Probe::Geometry(Window window) {
  XWindowAttributes attributes{};
  WindowGeometry g;
  if (XGetWindowAttributes(display_, window, &attributes) != 0) {
    g = {attributes.x, attributes.y, attributes.width, attributes.height};
  }
  return g;
}

Window X11Probe::CreateTopLevel(int x, int y, int width, int height) {
  const int screen = DefaultScreen(display_);
  Window w = XCreateSimpleWindow(display_, root(), x, y, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                 BlackPixel(display_, screen), WhitePixel(display_, screen));
  XMapWindow(display_, w);
  XSync(display_, False);
  return w;
}

void X11Probe::Resize(Window window, int width, int height) {
  XResizeWindow(display_, window, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XSync(display_, False);
}

void X11Probe::Move(Window window, int x, int y) {
  XMoveWindow(display_, window, x, y);
  XSync(display_, False);
}

void X11Probe::Destroy(Window window) {
  XDestroyWindow(display_, window);
  XSync(display_, False);
}

void X11Probe::SendDelete(Window window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_, window, False, NoEventMask, &event);
  XSync(display_, False);
}

RgbPicture X11Probe::Grab(Window window, int width, int height) {
  RgbPicture picture;
  XImage *image = XGetImage(display_, window, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                            AllPlanes, ZPixmap);
  if (image == nullptr) return picture;
  picture.width = width;
  picture.height = height;
  picture.rgb.resize(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      uint8_t *out = picture.rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
      out[0] = Channel(pixel, image->red_mask);
      out[1] = Channel(pixel, image->green_mask);
      out[2] = Channel(pixel, image->blue_mask);
    }
  }
  XDestroyImage(image);
  return picture;
}

bool X11Probe::WaitFor(const std::function<bool()> &done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

bool WritePng(const std::string &path, const RgbPicture &picture) {
  if (picture.width <= 0 || picture.height <= 0) return false;
  std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < picture.height; ++y) {
    png_write_row(png, const_cast<png_bytep>(picture.At(0, y)));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

std::string ScreenshotPath(const std::string &name) {
  const std::filesystem::path folder = std::filesystem::path(QUOREL_BINARY_DIR) / "screenshots";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return (folder / name).string();
}

}  // namespace quorel::test
