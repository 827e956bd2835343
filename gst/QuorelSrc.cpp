#include "QuorelSrc.h"

#include <gst/video/video.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

#include "ErrorText.h"
#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "QuorelSim.h"
#include "QuorelStream.h"

// Bound weakly, so that the element still streams (without sequence gaps,
// statistics and transfer-time stamps) on a library that lacks them.
#pragma weak QuorelStream_GetFrameMeta
#pragma weak QuorelStream_GetStatistics

GST_DEBUG_CATEGORY_STATIC(quorel_src_debug);
#define GST_CAT_DEFAULT quorel_src_debug

namespace {

enum Property {
  kPropUnit = 1,
  kPropColorMode,
  kPropExposure,
  kPropGain,
  kPropWindow,
  kPropTrigger,
  kPropTimeout,
  kPropSim,
  kPropFramesDelivered,
  kPropFramesDropped,
  kPropShortFrames,
  kPropFailedTransfers,
  kPropTimeouts,
  kPropCopyFailures,
  kPropCurrentRate,
  kPropMeanRate,
  kPropDiscontinuities,
};

constexpr int kDefaultColorMode = 24;
constexpr int kDefaultTimeoutMs = 5000;
// How often a waiting create() looks at the unlock flag.
constexpr int kPollMs = 50;

// The formats by colour mode. The 48-bit mode has no GStreamer format.
const char *FormatForMode(int bits) {
  switch (bits) {
    case 8:
      return "GRAY8";
    case 16:
      return "GRAY16_LE";
    case 24:
      return "BGR";
    case 32:
      return "BGRx";
    case 64:
      return "BGRA64_LE";
    default:
      return nullptr;
  }
}

GstStaticPadTemplate src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-raw, format = (string) { GRAY8, GRAY16_LE, BGR, BGRx, BGRA64_LE }, "
                    "width = (int) [ 1, 3488 ], height = (int) [ 1, 2616 ], "
                    "framerate = (fraction) [ 0/1, MAX ]"));

// The virtual camera is configured per process; two elements that name the
// same configuration must not reset each other's units.
std::mutex g_simMutex;
std::string g_simApplied;  // guarded by g_simMutex

bool ApplySimConfig(const std::string &config) {
  std::lock_guard<std::mutex> lock(g_simMutex);
  if (config == g_simApplied) return true;
  if (QuorelSim_Enable(config.c_str()) == 0) return false;
  g_simApplied = config;
  return true;
}

struct Window {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// "x,y,width,height" with four non-negative integers and a positive size.
bool ParseWindow(const char *text, Window &w) {
  if (text == nullptr || text[0] == '\0') return false;
  int parts[4];
  int count = 0;
  const char *p = text;
  while (count < 4) {
    char *end = nullptr;
    const long v = std::strtol(p, &end, 10);
    if (end == p || v < 0 || v > 65535) return false;
    parts[count++] = static_cast<int>(v);
    p = end;
    if (count < 4) {
      if (*p != ',') return false;
      ++p;
    }
  }
  if (*p != '\0' || parts[2] == 0 || parts[3] == 0) return false;
  w = Window{parts[0], parts[1], parts[2], parts[3]};
  return true;
}

}  // namespace

struct _QuorelSrc {
  GstPushSrc parent;

  // Properties, guarded by the object lock.
  int unit;
  int colorMode;
  int exposureUs;  // 0: as stored
  int gain;        // -1: as stored
  gchar *window;   // "x,y,width,height", or NULL/empty: as stored
  gboolean trigger;
  int timeoutMs;
  gchar *sim;  // virtual camera configuration, or NULL/empty

  // The running camera: written by start()/stop() while no create() runs;
  // the handle is also read by the statistics getters under the object lock.
  int handle;
  HWND notifyWindow;
  HWND frameWindow;
  int width;
  int height;
  int bitsPerPixel;
  int rateNum;  // caps framerate; 0/1 when the rate is not steady (trigger)
  int rateDen;
  gsize frameBytes;
  bool pendingFrame;  // a frame message already taken by start()

  // Streaming-thread state.
  uint64_t lastSequence;
  GstClockTime lastPts;
  gint discontinuities;  // g_atomic_int_* (read by the property getter)
  guint64 buffersOut;

  gint unlocking;  // g_atomic_int_*: set by unlock() on any thread
};

G_DEFINE_TYPE(QuorelSrc, quorel_src, GST_TYPE_PUSH_SRC)

namespace {

// Posts an element error that names the library's code and its meaning.
void PostCameraError(QuorelSrc *self, GQuark domain, int gcode, const std::string &what, int code) {
  const std::string text = what + ": " + quorel::gst::DescribeError(code);
  GError *error = g_error_new_literal(domain, gcode, text.c_str());
  gchar *debug = g_strdup_printf("library error code %d", code);
  gst_element_message_full(GST_ELEMENT(self), GST_MESSAGE_ERROR, domain, gcode, g_strdup(error->message), debug,
                           __FILE__, GST_FUNCTION, __LINE__);
  g_error_free(error);
}

// The newest code the camera recorded or posted, 0 when there is none.
int TakeError(QuorelSrc *self) {
  int newest = 0;
  for (int i = 0; i < 64; ++i) {
    const int code = Quorel_GetLastError(self->handle);
    if (code == 0) break;
    if (newest == 0) newest = code;
  }
  QuorelHostMsg msg{};
  while (QuorelHost_PeekMessage(self->notifyWindow, &msg) == 1) {
    if (msg.message == QUOREL_WM_ERROR && newest == 0) newest = static_cast<int>(msg.lParam);
  }
  return newest;
}

bool Check(QuorelSrc *self, int result, const char *call) {
  if (result != 0) return true;
  const int code = TakeError(self);
  const GQuark domain = GST_RESOURCE_ERROR;
  const int gcode = code == QUOREL_ERR_NO_CAMERA                                 ? GST_RESOURCE_ERROR_NOT_FOUND
                    : code == QUOREL_ERR_ARGUMENT || code == QUOREL_ERR_GEOMETRY ? GST_RESOURCE_ERROR_SETTINGS
                                                                                 : GST_RESOURCE_ERROR_OPEN_READ;
  PostCameraError(self, domain, gcode, std::string(call) + " failed", code);
  return false;
}

void CloseCamera(QuorelSrc *self) {
  GST_OBJECT_LOCK(self);
  const int handle = self->handle;
  self->handle = 0;
  self->width = 0;
  GST_OBJECT_UNLOCK(self);
  if (handle != 0) {
    Quorel_StopPreview(handle);
    Quorel_Release(handle);
  }
  if (self->frameWindow != nullptr) QuorelHost_DestroyWindow(self->frameWindow);
  if (self->notifyWindow != nullptr) QuorelHost_DestroyWindow(self->notifyWindow);
  self->frameWindow = nullptr;
  self->notifyWindow = nullptr;
}

bool ReadMeta(int handle, QuorelFrameMeta &meta) {
  meta = QuorelFrameMeta{};
  meta.size = sizeof meta;
  return QuorelStream_GetFrameMeta != nullptr && QuorelStream_GetFrameMeta(handle, &meta) == 1;
}

// Waits for the next frame message. GST_FLOW_OK with a frame, FLUSHING when
// unlocked, ERROR (posted) for a failed or missing frame.
GstFlowReturn WaitFrame(QuorelSrc *self, int timeoutMs) {
  gint64 waited = 0;
  while (true) {
    if (g_atomic_int_get(&self->unlocking) != 0) return GST_FLOW_FLUSHING;
    QuorelHostMsg msg{};
    if (QuorelHost_WaitMessage(self->frameWindow, &msg, kPollMs) == 1) {
      if (msg.message != QUOREL_WM_FRAME) continue;
      if (msg.wParam != 0) {
        // Later messages in the queue announce newer frames; the copy below
        // takes the newest, so they are consumed here too.
        while (QuorelHost_PeekMessage(self->frameWindow, &msg) == 1) {
          if (msg.message == QUOREL_WM_FRAME && msg.wParam == 0) break;
        }
        if (!(msg.message == QUOREL_WM_FRAME && msg.wParam == 0)) return GST_FLOW_OK;
      }
      const int code = static_cast<int>(msg.lParam);
      if (code == QUOREL_ERR_TRANSFER_STOPPED) {
        PostCameraError(self, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ, "the camera stopped delivering frames",
                        code);
        return GST_FLOW_ERROR;
      }
      // A single failed frame (code 5 or 8) is not the end of the stream.
      GST_WARNING_OBJECT(self, "frame failed: %s", quorel::gst::DescribeError(code).c_str());
      continue;
    }
    waited += kPollMs;
    if (timeoutMs > 0 && waited >= timeoutMs) {
      PostCameraError(self, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ,
                      "no frame within " + std::to_string(timeoutMs) + " ms", QUOREL_ERR_FRAME);
      return GST_FLOW_ERROR;
    }
  }
}

// The time of the frame last delivered: its transfer time when the library
// reports it, else now.
uint64_t FrameTimeNs(int handle) {
  QuorelFrameMeta meta{};
  if (ReadMeta(handle, meta) && meta.timestampNs != 0) return meta.timestampNs;
  return static_cast<uint64_t>(g_get_monotonic_time()) * 1000;
}

// The camera's rate over the next frames, for the caps: encoders and muxers
// need a fixed rate. The newest frame stays pending for create().
bool MeasureRate(QuorelSrc *self, int timeoutMs, int &num, int &den) {
  constexpr int kIntervals = 2;
  const uint64_t first = FrameTimeNs(self->handle);
  for (int i = 0; i < kIntervals; ++i) {
    if (WaitFrame(self, timeoutMs) != GST_FLOW_OK) return false;
  }
  const uint64_t last = FrameTimeNs(self->handle);
  if (last <= first) return true;
  const double rate = kIntervals * 1e9 / static_cast<double>(last - first);
  // Two decimals are what a measurement over a few frames can tell.
  gst_util_double_to_fraction(std::round(rate * 100.0) / 100.0, &num, &den);
  return true;
}

gboolean Start(GstBaseSrc *base) {
  QuorelSrc *self = QUOREL_SRC(base);
  GST_OBJECT_LOCK(self);
  const int unit = self->unit;
  const int colorMode = self->colorMode;
  const int exposureUs = self->exposureUs;
  const int gain = self->gain;
  const std::string windowText = self->window != nullptr ? self->window : "";
  const bool trigger = self->trigger;
  const int timeoutMs = self->timeoutMs;
  const std::string sim = self->sim != nullptr ? self->sim : "";
  GST_OBJECT_UNLOCK(self);

  if (FormatForMode(colorMode) == nullptr) {
    GST_ELEMENT_ERROR(self, RESOURCE, SETTINGS, ("color-mode %d has no GStreamer format", colorMode),
                      ("use 8, 16, 24, 32 or 64"));
    return FALSE;
  }
  Window window;
  if (!windowText.empty() && !ParseWindow(windowText.c_str(), window)) {
    GST_ELEMENT_ERROR(self, RESOURCE, SETTINGS, ("window \"%s\" is not x,y,width,height", windowText.c_str()),
                      (nullptr));
    return FALSE;
  }
  if (!sim.empty() && !ApplySimConfig(sim)) {
    GST_ELEMENT_ERROR(self, RESOURCE, SETTINGS, ("the virtual camera configuration \"%s\" does not parse", sim.c_str()),
                      (nullptr));
    return FALSE;
  }

  self->notifyWindow = QuorelHost_CreateMessageWindow();
  self->frameWindow = QuorelHost_CreateMessageWindow();
  const int handle = self->notifyWindow != nullptr ? Quorel_Initialize(self->notifyWindow) : 0;
  if (handle == 0 || self->frameWindow == nullptr) {
    GST_ELEMENT_ERROR(self, RESOURCE, OPEN_READ, ("the camera object could not be created"), (nullptr));
    CloseCamera(self);
    return FALSE;
  }
  GST_OBJECT_LOCK(self);
  self->handle = handle;
  GST_OBJECT_UNLOCK(self);
  // What a failed initialisation recorded is reported by the calls below.
  TakeError(self);

  bool ok = Check(self, Quorel_SetDeviceNumber(handle, unit), "Quorel_SetDeviceNumber") &&
            Check(self, Quorel_SetColorMode(handle, colorMode), "Quorel_SetColorMode");
  if (ok && window.width > 0) {
    ok = Check(self, Quorel_SetCaptureWindowEx(handle, 3488, window.x, window.width, 2616, window.y, window.height),
               "Quorel_SetCaptureWindowEx");
  }
  if (ok && exposureUs > 0) {
    ok = Check(self, Quorel_SetRealExposureTime(handle, exposureUs), "Quorel_SetRealExposureTime");
  }
  if (ok && gain >= 0) ok = Check(self, Quorel_SetGlobalGain(handle, gain), "Quorel_SetGlobalGain");
  // Headless: frames reach the element only.
  if (ok) ok = Check(self, Quorel_SetPreviewWindow(handle, nullptr, 0, 0, 0, 0), "Quorel_SetPreviewWindow");
  if (ok) {
    ok = trigger
             ? Check(self, Quorel_Trigger(handle, self->frameWindow, nullptr, 0, 1), "Quorel_Trigger")
             : Check(self, Quorel_CallBackPreview(handle, self->frameWindow, nullptr, 0, 1), "Quorel_CallBackPreview");
  }
  if (!ok) {
    CloseCamera(self);
    return FALSE;
  }

  // The delivered size is the library's: the size of the first frame. (In
  // trigger mode that waits for the first trigger.)
  g_atomic_int_set(&self->unlocking, 0);
  if (WaitFrame(self, trigger ? 0 : timeoutMs) != GST_FLOW_OK) {
    CloseCamera(self);
    return FALSE;
  }
  self->pendingFrame = true;
  int rateNum = 0;
  int rateDen = 1;
  if (!trigger && !MeasureRate(self, timeoutMs, rateNum, rateDen)) {
    CloseCamera(self);
    return FALSE;
  }
  int width = 0;
  int height = 0;
  int bits = 0;
  QuorelFrameMeta meta{};
  if (ReadMeta(handle, meta) && meta.width > 0) {
    width = meta.width;
    height = meta.height;
    bits = meta.bitsPerPixel;
  } else {
    // Without frame metadata the size is the capture window, which holds
    // for the camera's full-resolution modes only.
    if (Quorel_GetSubSample(handle) != 0) {
      GST_ELEMENT_ERROR(self, RESOURCE, SETTINGS, ("sub-sampling needs a library with frame metadata"), (nullptr));
      CloseCamera(self);
      return FALSE;
    }
    width = Quorel_Width(handle);
    height = Quorel_Height(handle);
    bits = colorMode;
  }
  const gsize stride = (static_cast<gsize>(width) * static_cast<gsize>(bits / 8) + 3) & ~gsize{3};
  // GetCaps reads these from other threads.
  GST_OBJECT_LOCK(self);
  self->width = width;
  self->height = height;
  self->bitsPerPixel = bits;
  self->rateNum = rateNum;
  self->rateDen = rateDen;
  self->frameBytes = stride * static_cast<gsize>(height);
  GST_OBJECT_UNLOCK(self);
  self->lastSequence = 0;
  self->lastPts = GST_CLOCK_TIME_NONE;
  self->buffersOut = 0;
  g_atomic_int_set(&self->discontinuities, 0);
  GST_INFO_OBJECT(self, "unit %d streaming %d x %d at %d bits, %d/%d fps", unit, width, height, bits, rateNum, rateDen);
  return TRUE;
}

gboolean Stop(GstBaseSrc *base) {
  CloseCamera(QUOREL_SRC(base));
  return TRUE;
}

GstCaps *GetCaps(GstBaseSrc *base, GstCaps *filter) {
  QuorelSrc *self = QUOREL_SRC(base);
  GstCaps *caps = nullptr;
  GST_OBJECT_LOCK(self);
  const bool running = self->handle != 0 && self->width > 0;
  const int width = self->width;
  const int height = self->height;
  const int bits = self->bitsPerPixel;
  const int rateNum = self->rateNum;
  const int rateDen = self->rateDen;
  GST_OBJECT_UNLOCK(self);
  if (running && FormatForMode(bits) != nullptr) {
    caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, FormatForMode(bits), "width", G_TYPE_INT, width,
                               "height", G_TYPE_INT, height, "framerate", GST_TYPE_FRACTION, rateNum, rateDen, nullptr);
  } else {
    caps = gst_pad_get_pad_template_caps(GST_BASE_SRC_PAD(base));
  }
  if (filter != nullptr) {
    GstCaps *both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
    gst_caps_unref(caps);
    caps = both;
  }
  return caps;
}

gboolean Unlock(GstBaseSrc *base) {
  g_atomic_int_set(&QUOREL_SRC(base)->unlocking, 1);
  return TRUE;
}

gboolean UnlockStop(GstBaseSrc *base) {
  g_atomic_int_set(&QUOREL_SRC(base)->unlocking, 0);
  return TRUE;
}

// The frame's transfer time (CLOCK_MONOTONIC) on the pipeline's running time.
GstClockTime RunningTimeOf(QuorelSrc *self, uint64_t monotonicNs) {
  GstClock *clock = gst_element_get_clock(GST_ELEMENT(self));
  if (clock == nullptr) return GST_CLOCK_TIME_NONE;
  const GstClockTime clockNow = gst_clock_get_time(clock);
  gst_object_unref(clock);
  const GstClockTime base = gst_element_get_base_time(GST_ELEMENT(self));
  const gint64 monotonicNow = g_get_monotonic_time() * 1000;
  const gint64 onClock = static_cast<gint64>(clockNow) - (monotonicNow - static_cast<gint64>(monotonicNs));
  if (onClock < static_cast<gint64>(base)) return 0;
  return static_cast<GstClockTime>(onClock) - base;
}

GstFlowReturn Create(GstPushSrc *push, GstBuffer **out) {
  QuorelSrc *self = QUOREL_SRC(push);
  if (!self->pendingFrame) {
    GST_OBJECT_LOCK(self);
    const int timeoutMs = self->trigger ? 0 : self->timeoutMs;
    GST_OBJECT_UNLOCK(self);
    const GstFlowReturn waited = WaitFrame(self, timeoutMs);
    if (waited != GST_FLOW_OK) return waited;
  }
  self->pendingFrame = false;

  GstBuffer *buffer = gst_buffer_new_allocate(nullptr, self->frameBytes, nullptr);
  if (buffer == nullptr) return GST_FLOW_ERROR;
  GstMapInfo map;
  if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
    gst_buffer_unref(buffer);
    return GST_FLOW_ERROR;
  }
  // The copy and the metadata must describe the same frame: read the
  // metadata on both sides of the copy and copy again if a frame came between.
  QuorelFrameMeta before{};
  QuorelFrameMeta after{};
  bool haveMeta = false;
  bool copied = false;
  for (int attempt = 0; attempt < 4 && !copied; ++attempt) {
    haveMeta = ReadMeta(self->handle, before);
    if (Quorel_GetImage(self->handle, map.data, static_cast<int>(map.size), 1) == 0) break;
    copied = !haveMeta || (ReadMeta(self->handle, after) && after.sequence == before.sequence);
  }
  gst_buffer_unmap(buffer, &map);
  if (!copied) {
    gst_buffer_unref(buffer);
    const int code = TakeError(self);
    PostCameraError(self, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ, "Quorel_GetImage failed",
                    code != 0 ? code : QUOREL_ERR_FRAME);
    return GST_FLOW_ERROR;
  }

  GstClockTime pts = GST_CLOCK_TIME_NONE;
  if (haveMeta && before.sequence != 0) {
    GST_BUFFER_OFFSET(buffer) = before.sequence - 1;
    GST_BUFFER_OFFSET_END(buffer) = before.sequence;
    // A gap in the sequence: frames the camera completed that never reached
    // this element (dropped in the library or skipped while downstream was busy).
    if (self->lastSequence != 0 && before.sequence > self->lastSequence + 1) {
      GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
      g_atomic_int_inc(&self->discontinuities);
      GST_DEBUG_OBJECT(self, "sequence gap %" G_GUINT64_FORMAT " -> %" G_GUINT64_FORMAT,
                       static_cast<guint64>(self->lastSequence), static_cast<guint64>(before.sequence));
    }
    self->lastSequence = before.sequence;
    pts = RunningTimeOf(self, before.timestampNs);
  } else {
    GST_BUFFER_OFFSET(buffer) = self->buffersOut;
    GST_BUFFER_OFFSET_END(buffer) = self->buffersOut + 1;
    pts = RunningTimeOf(self, static_cast<uint64_t>(g_get_monotonic_time()) * 1000);
  }
  if (self->buffersOut == 0) GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
  // Timestamps never go back, even if the clock mapping moves.
  if (GST_CLOCK_TIME_IS_VALID(pts) && GST_CLOCK_TIME_IS_VALID(self->lastPts) && pts <= self->lastPts) {
    pts = self->lastPts + 1;
  }
  GST_BUFFER_PTS(buffer) = pts;
  GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
  if (GST_CLOCK_TIME_IS_VALID(pts)) self->lastPts = pts;
  ++self->buffersOut;
  *out = buffer;
  return GST_FLOW_OK;
}

gboolean Query(GstBaseSrc *base, GstQuery *query) {
  if (GST_QUERY_TYPE(query) == GST_QUERY_LATENCY) {
    // A frame is stamped when its transfer completes and leaves after its
    // conversion: at most one frame interval of the slowest mode later.
    gst_query_set_latency(query, TRUE, 0, GST_CLOCK_TIME_NONE);
    return TRUE;
  }
  return GST_BASE_SRC_CLASS(quorel_src_parent_class)->query(base, query);
}

void SetProperty(GObject *object, guint id, const GValue *value, GParamSpec *spec) {
  QuorelSrc *self = QUOREL_SRC(object);
  GST_OBJECT_LOCK(self);
  switch (id) {
    case kPropUnit:
      self->unit = g_value_get_int(value);
      break;
    case kPropColorMode:
      self->colorMode = g_value_get_int(value);
      break;
    case kPropExposure:
      self->exposureUs = g_value_get_int(value);
      break;
    case kPropGain:
      self->gain = g_value_get_int(value);
      break;
    case kPropWindow:
      g_free(self->window);
      self->window = g_value_dup_string(value);
      break;
    case kPropTrigger:
      self->trigger = g_value_get_boolean(value);
      break;
    case kPropTimeout:
      self->timeoutMs = g_value_get_int(value);
      break;
    case kPropSim:
      g_free(self->sim);
      self->sim = g_value_dup_string(value);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
      break;
  }
  GST_OBJECT_UNLOCK(self);
}

void GetProperty(GObject *object, guint id, GValue *value, GParamSpec *spec) {
  QuorelSrc *self = QUOREL_SRC(object);
  if (id >= kPropFramesDelivered && id <= kPropMeanRate) {
    QuorelStreamStats stats{};
    stats.size = sizeof stats;
    GST_OBJECT_LOCK(self);
    const int handle = self->handle;
    // Under the lock: stop() clears the handle under it before releasing.
    if (handle != 0 && QuorelStream_GetStatistics != nullptr && QuorelStream_GetStatistics(handle, &stats) != 1) {
      stats = QuorelStreamStats{};
    }
    GST_OBJECT_UNLOCK(self);
    switch (id) {
      case kPropFramesDelivered:
        g_value_set_uint64(value, stats.delivered);
        break;
      case kPropFramesDropped:
        g_value_set_uint64(value, stats.dropped);
        break;
      case kPropShortFrames:
        g_value_set_uint64(value, stats.shortFrames);
        break;
      case kPropFailedTransfers:
        g_value_set_uint64(value, stats.failedTransfers);
        break;
      case kPropTimeouts:
        g_value_set_uint64(value, stats.timeouts);
        break;
      case kPropCopyFailures:
        g_value_set_uint64(value, stats.copyFailures);
        break;
      case kPropCurrentRate:
        g_value_set_double(value, stats.currentRate);
        break;
      default:
        g_value_set_double(value, stats.meanRate);
        break;
    }
    return;
  }
  GST_OBJECT_LOCK(self);
  switch (id) {
    case kPropUnit:
      g_value_set_int(value, self->unit);
      break;
    case kPropColorMode:
      g_value_set_int(value, self->colorMode);
      break;
    case kPropExposure:
      g_value_set_int(value, self->exposureUs);
      break;
    case kPropGain:
      g_value_set_int(value, self->gain);
      break;
    case kPropWindow:
      g_value_set_string(value, self->window);
      break;
    case kPropTrigger:
      g_value_set_boolean(value, self->trigger);
      break;
    case kPropTimeout:
      g_value_set_int(value, self->timeoutMs);
      break;
    case kPropSim:
      g_value_set_string(value, self->sim);
      break;
    case kPropDiscontinuities:
      g_value_set_uint64(value, static_cast<guint64>(g_atomic_int_get(&self->discontinuities)));
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
      break;
  }
  GST_OBJECT_UNLOCK(self);
}

void Finalize(GObject *object) {
  QuorelSrc *self = QUOREL_SRC(object);
  CloseCamera(self);
  g_free(self->window);
  g_free(self->sim);
  G_OBJECT_CLASS(quorel_src_parent_class)->finalize(object);
}

GParamSpec *Counter(const char *name, const char *blurb) {
  return g_param_spec_uint64(name, name, blurb, 0, G_MAXUINT64, 0,
                             static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS));
}

}  // namespace

static void quorel_src_class_init(QuorelSrcClass *klass) {
  GObjectClass *object = G_OBJECT_CLASS(klass);
  GstElementClass *element = GST_ELEMENT_CLASS(klass);
  GstBaseSrcClass *base = GST_BASE_SRC_CLASS(klass);
  GstPushSrcClass *push = GST_PUSH_SRC_CLASS(klass);
  GST_DEBUG_CATEGORY_INIT(quorel_src_debug, "quorelsrc", 0, "470KX camera source");

  object->set_property = SetProperty;
  object->get_property = GetProperty;
  object->finalize = Finalize;
  const auto rw = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY);
  g_object_class_install_property(
      object, kPropUnit, g_param_spec_int("unit", "Unit", "Camera unit 0..31 (Quorel_SetDeviceNumber)", 0, 31, 0, rw));
  g_object_class_install_property(
      object, kPropColorMode,
      g_param_spec_int("color-mode", "Colour mode",
                       "Bits per pixel: 8 GRAY8, 16 GRAY16_LE (12-bit samples in the low bits), 24 BGR, 32 BGRx, "
                       "64 BGRA64_LE (48 has no GStreamer format)",
                       8, 64, kDefaultColorMode, rw));
  g_object_class_install_property(
      object, kPropExposure,
      g_param_spec_int("exposure", "Exposure", "Exposure time in microseconds (0: as stored for the camera)", 0,
                       G_MAXINT, 0, rw));
  g_object_class_install_property(
      object, kPropGain,
      g_param_spec_int("gain", "Gain", "Global analog gain 0..127 (-1: as stored for the camera)", -1, 127, -1, rw));
  g_object_class_install_property(
      object, kPropWindow,
      g_param_spec_string("window", "Capture window",
                          "Capture window on the sensor as \"x,y,width,height\" (empty: as stored)", nullptr, rw));
  g_object_class_install_property(
      object, kPropTrigger,
      g_param_spec_boolean("trigger", "Trigger", "Take frames on the camera's external trigger (Quorel_Trigger)", FALSE,
                           rw));
  g_object_class_install_property(
      object, kPropTimeout,
      g_param_spec_int("timeout", "Timeout",
                       "Milliseconds to wait for a frame before an error (0: forever; trigger mode waits forever)", 0,
                       G_MAXINT, kDefaultTimeoutMs, rw));
  g_object_class_install_property(
      object, kPropSim,
      g_param_spec_string("sim", "Virtual camera",
                          "Use the virtual camera with this configuration, e.g. \"units=0,1;fps=30\" "
                          "(empty: the real cameras, unless QUOREL_DRIVER=sim)",
                          nullptr, rw));
  g_object_class_install_property(object, kPropFramesDelivered,
                                  Counter("frames-delivered", "Frames delivered by the library since the start"));
  g_object_class_install_property(
      object, kPropFramesDropped,
      Counter("frames-dropped", "Completed frames the library overwrote before they were converted"));
  g_object_class_install_property(object, kPropShortFrames, Counter("short-frames", "Short frames"));
  g_object_class_install_property(object, kPropFailedTransfers, Counter("failed-transfers", "Frame reads that failed"));
  g_object_class_install_property(object, kPropTimeouts, Counter("timeouts", "Frame waits that timed out"));
  g_object_class_install_property(object, kPropCopyFailures,
                                  Counter("copy-failures", "Copies into an application buffer that failed"));
  const auto ro = static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS);
  g_object_class_install_property(object, kPropCurrentRate,
                                  g_param_spec_double("current-rate", "Current rate",
                                                      "Frames per second over the last second", 0, G_MAXDOUBLE, 0, ro));
  g_object_class_install_property(
      object, kPropMeanRate,
      g_param_spec_double("mean-rate", "Mean rate", "Frames per second since the start", 0, G_MAXDOUBLE, 0, ro));
  g_object_class_install_property(
      object, kPropDiscontinuities,
      Counter("discontinuities", "Buffers marked DISCONT after a gap in the frame sequence"));

  gst_element_class_set_static_metadata(element, "470KX camera source", "Source/Video",
                                        "Live video from a 470KX USB camera (or the virtual camera)",
                                        "QuorelSdk_470KX_PLU");
  gst_element_class_add_static_pad_template(element, &src_template);

  base->start = Start;
  base->stop = Stop;
  base->get_caps = GetCaps;
  base->unlock = Unlock;
  base->unlock_stop = UnlockStop;
  base->query = Query;
  push->create = Create;
}

static void quorel_src_init(QuorelSrc *self) {
  self->unit = 0;
  self->colorMode = kDefaultColorMode;
  self->exposureUs = 0;
  self->gain = -1;
  self->window = nullptr;
  self->trigger = FALSE;
  self->timeoutMs = kDefaultTimeoutMs;
  self->sim = nullptr;
  self->handle = 0;
  self->notifyWindow = nullptr;
  self->frameWindow = nullptr;
  self->width = 0;
  self->height = 0;
  self->bitsPerPixel = 0;
  self->rateNum = 0;
  self->rateDen = 1;
  self->frameBytes = 0;
  self->pendingFrame = false;
  self->lastSequence = 0;
  self->lastPts = GST_CLOCK_TIME_NONE;
  self->discontinuities = 0;
  self->buffersOut = 0;
  self->unlocking = 0;
  gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
  gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
}
