// Saving the current image as a still file, and recording the live preview
// into an AVI file with a worker thread.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>

#include "camera/CQuorel.h"
#include "device/CQuorel470KXPLUSdk.h"
#include "image/DibImage.h"
#include "image/FormatKernels.h"
#include "output/AviWriter.h"
#include "output/StillImageWriter.h"
#include "platform/Clock.h"
#include "platform/SharedValue.h"
#include "platform/ThreadUtil.h"
#include "platform/WideString.h"

namespace quorel {

namespace {
constexpr uint32_t kRecordPollMs = 10;
constexpr uint32_t kInitialRecordRate = 30;
}  // namespace

int CQuorel::SaveOutput(DibImage *output, const char *path, int fileType, const char *operation) {
  if (output == nullptr) {
    ReportError(kErrNotReady, operation);
    return 0;
  }
  const SaveResult result = SaveStillImage(output, path, fileType);
  if (result.errorCode != 0) ReportError(result.errorCode, operation);
  return result.saved;
}

int CQuorel::SaveCopy(const char *path, int fileType, const char *operation) {
  MutexLock saving(saveLock_);
  // Size the copy before taking the frame lock: fresh memory is slow to
  // touch the first time, and the lock is then held for one pass over the
  // pixels instead.
  struct Shape {
    bool present = false;
    int width = 0, height = 0, bits = 0;
  };
  const Shape shape = acquisition_.WithOutputImage([](DibImage *output) {
    Shape s;
    if (output != nullptr) s = Shape{true, output->width(), output->height(), output->bitsPerPixel()};
    return s;
  });
  if (!shape.present) return SaveOutput(nullptr, path, fileType, operation);
  if (shape.width > 0 && (saveImage_.width() != shape.width || saveImage_.height() != shape.height ||
                          saveImage_.bitsPerPixel() != shape.bits)) {
    saveImage_.Create(shape.width, shape.height, shape.bits);
  }
  enum class Copy { kNoImage, kCopied, kNoMemory };
  const Copy copied = acquisition_.WithOutputImage([this](DibImage *output) QUOREL_NO_THREAD_SAFETY_ANALYSIS {
    if (output == nullptr) return Copy::kNoImage;
    if (output->empty()) {
      saveImage_.Release();
      return Copy::kCopied;
    }
    return saveImage_.CopyFrom(*output) == 1 ? Copy::kCopied : Copy::kNoMemory;
  });
  if (copied == Copy::kNoImage) return SaveOutput(nullptr, path, fileType, operation);
  if (copied == Copy::kNoMemory) {
    ReportError(kErrMemory, operation);
    return 0;
  }
  return SaveOutput(&saveImage_, path, fileType, operation);
}

int CQuorel::SaveImage(const char *fileName, int fileType) {
  if (device_ == nullptr || !acquisition_.imageValid()) {
    ReportError(kErrNotReady, "Quorel_SaveImage");
    return 0;
  }
  if (fileName == nullptr) return 0;
  return SaveCopy(fileName, fileType, "Quorel_SaveImage");
}

int CQuorel::SaveImageW(const wchar_t *fileName, int fileType) {
  if (!RequireDevice("Quorel_SaveImageW")) return 0;
  char narrow[kNarrowNameSize];
  if (!WideToUtf8(fileName, narrow)) {
    ReportError(kErrNotReady, "Quorel_SaveImageW");
    return 0;
  }
  return SaveCopy(narrow, fileType, "Quorel_SaveImageW");
}

int CQuorel::Record(const char *fileName, int durationMs, int showWindow) {
  std::lock_guard<std::recursive_mutex> state(acquisition_.stateLock());
  if (fileName == nullptr || fileName[0] == '\0') {
    ReportError(kErrArgument, "Quorel_Record");
    return 0;
  }
  // One writer serves one recording at a time: a second start while the
  // first runs is refused instead of sharing the open file.
  if (recording_.load() != 0 || recordThread_.joinable()) {
    if (recording_.load() != 0) {
      ReportError(kErrNotReady, "Quorel_Record");
      return 0;
    }
    recordThread_.join();  // a finished recording's thread
  }
  acquisition_.SetDestination(FrameDestination{});
  if (showWindow != 0 && !ShowPreviewWindow()) {
    ReportError(kErrWindow, "Quorel_Record");
    return 0;
  }
  if (acquisition_.StartPreview() != 1) {
    Close();
    ReportError(kErrFile, "Quorel_Record");
    return 0;
  }
  // Close joins the frame thread, so it runs after the frame lock is released.
  const bool created = acquisition_.WithOutputImage([&](DibImage *output) {
    avi_->SetFrameSize(output != nullptr ? output->width() : 0, output != nullptr ? output->height() : 0);
    avi_->SetFrameRate(kInitialRecordRate);
    avi_->SetFrameCount(0);
    return avi_->Create(fileName) != 0;
  });
  if (!created) {
    Close();
    ReportError(kErrFile, "Quorel_Record");
    return 0;
  }
  recordStartTick_ = 0;
  recordStopTick_ = static_cast<uint32_t>(durationMs);
  acquisition_.ClearFrameReady();
  recording_.store(1);
  try {
    recordThread_ = std::thread([this] {
      SetCurrentThreadName("quorel-record");
      RecordingWorker();
    });
  } catch (const std::system_error &) {
    recording_.store(0);
    Close();
    ReportError(kErrThread, "Quorel_Record");
    return 0;
  }
  return 1;
}

int CQuorel::RecordW(const wchar_t *fileName, int durationMs, int showWindow) {
  char narrow[kNarrowNameSize];
  if (!WideToUtf8(fileName, narrow)) {
    ReportError(kErrFile, "Quorel_RecordW");
    return 0;
  }
  return Record(narrow, durationMs, showWindow);
}

void CQuorel::RecordingWorker() {
  DibImage colourA, colourB, gray;
  acquisition_.WithOutputImage([&](DibImage *output) {
    if (output != nullptr) {
      colourA.Create(output->width(), output->height(), 24);
      colourB.Create(output->width(), output->height(), 24);
      gray.Create(output->width(), output->height(), 8);
      gray.SetPalette(0);
    }
  });
  // Hundredths of frames per second over the frames really in the file; in
  // 64 bits, as a long recording of small frames passes 2^32 / 100000.
  auto measuredRate = [this](uint32_t elapsedMs) -> uint32_t {
    if (recordStartTick_ == 0 || elapsedMs == 0) return 0;
    return static_cast<uint32_t>(std::min<uint64_t>(uint64_t{avi_->framesWritten()} * 100000u / elapsedMs, UINT32_MAX));
  };
  while (recording_.load() != 0) {
    SleepMs(kRecordPollMs);
    if (!acquisition_.TakeFrameReady()) continue;
    const uint32_t now = TimeGetTime();
    if (recordStartTick_ == 0) {
      recordStartTick_ = now;
      recordStopTick_ += now;
    }
    // The frame is converted into the writer's image under the frame lock;
    // the writer writes it after the lock is released.
    enum class Outcome { kNoImage, kStored, kRefused };
    Outcome outcome = acquisition_.WithOutputImage([&](DibImage *output) {
      if (output == nullptr || output->empty()) return Outcome::kNoImage;
      // Every depth becomes a bottom-up 24-bit frame in colourA.
      switch (output->bitsPerPixel()) {
        case 8:
          colourB.Draw(*output, nullptr, 0, 0);
          colourA.ApplyKernel(Color24CopyFlip, colourB, nullptr, 0, 0);
          break;
        case 16:
          gray.ApplyKernel(Gray16To8Shr4Flip, *output, nullptr, 0, 0);
          colourA.Draw(gray, nullptr, 0, 0);
          break;
        case 48:
        case 64:
          colourA.ApplyKernel(Color16To24Shr4Flip, *output, nullptr, 0, 0);
          break;
        default:
          colourA.ApplyKernel(Color24CopyFlip, *output, nullptr, 0, 0);
          break;
      }
      return Outcome::kStored;
    });
    if (outcome == Outcome::kStored && avi_->WriteFrame(colourA.pixels()) != 0) outcome = Outcome::kRefused;
    if (outcome == Outcome::kNoImage) continue;
    if (outcome == Outcome::kRefused) {
      // The file reached the format's size limit (4 GiB) or a write failed:
      // the writer takes no more frames. Finish the file with the frames it
      // holds, timed by the real elapsed time, and say so rather than go on
      // as if frames were still being recorded.
      avi_->SetFrameRate(measuredRate(now - recordStartTick_));
      avi_->Finish();
      recording_.store(0);
      recordStartTick_ = 0;
      recordStopTick_ = 0;
      ReportError(kErrFile, "Quorel_Record");
      break;
    }
    avi_->SetFrameCount(avi_->frameCount() + 1);
    if (recordStopTick_ < now) {
      avi_->SetFrameRate(measuredRate(now - recordStartTick_));
      avi_->Finish();
      avi_->SetFrameRate(0);
      avi_->SetFrameCount(0);
      recording_.store(0);
      recordStartTick_ = 0;
      recordStopTick_ = 0;
    }
  }
  // Stopped before the duration ended: the file is finished with what it has.
  if (avi_->isOpen()) {
    avi_->SetFrameRate(measuredRate(TimeGetTime() - recordStartTick_));
    avi_->Finish();
  }
}

}  // namespace quorel
