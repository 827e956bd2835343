// Uncompressed AVI recording: one video stream of bottom-up 24-bit frames,
// one "00db" chunk per frame, and an "idx1" index.
//
// Create writes the RIFF, header list and "movi" list heads; WriteFrame
// appends chunks straight from the caller's pixel memory; Finish appends the
// index and patches the sizes, the frame count and the measured timing into
// the headers. A file that is never finished reads as empty.
//
// Write failures are not swallowed: a frame that cannot be written in full
// (full disk, file-size limit) is cut off again, WriteFrame reports it and
// takes no further frames, and Finish still indexes the frames that made it
// so the file stays readable, then reports the failure.
//
// Thread context: not synchronised. The camera object drives it from one
// thread at a time under its frame lock (WriteFrame) or after its recording
// thread has stopped taking frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorel {

class AviWriter {
 public:
  // A RIFF file holds its length less 8 in an unsigned 32-bit field; a file
  // longer than this cannot be described and would be corrupt.
  static constexpr uint64_t kMaxFileBytes = uint64_t{0xFFFFFFFF} + 8;

  // Fixed offsets of the file layout.
  static constexpr size_t kHeaderBytes = 232;  // up to and including "movi"
  static constexpr size_t kMoviSizeOffset = 224;

  // maxFileBytes caps the finished file's length (index included); frames
  // that would pass it are refused. At most kMaxFileBytes.
  explicit AviWriter(uint64_t maxFileBytes = kMaxFileBytes);
  ~AviWriter();
  AviWriter(const AviWriter &) = delete;
  AviWriter &operator=(const AviWriter &) = delete;

  // Frame size in pixels, set before Create.
  void SetFrameSize(int32_t width, int32_t height) {
    frameWidth_ = width;
    frameHeight_ = height;
  }
  int32_t frameWidth() const { return frameWidth_; }
  int32_t frameHeight() const { return frameHeight_; }

  // Frames per second before Create; hundredths of frames per second (the
  // measured rate) before Finish.
  void SetFrameRate(uint32_t rate) { frameRate_ = rate; }
  uint32_t frameRate() const { return frameRate_; }

  // Frames recorded, kept by the caller for its rate measurement; Create
  // writes it into the headers. Finish uses the number of frames actually
  // written, so the headers always agree with the chunks and the index.
  void SetFrameCount(uint32_t count) { frameCount_ = count; }
  uint32_t frameCount() const { return frameCount_; }

  // Closes any previous file (unfinished), clears the index and opens path
  // for writing, truncating an existing file, then writes the headers up to
  // and including "movi". Returns 1 on success; 0 for a null or empty path,
  // a width, height or frame rate <= 0, a frame too large for the file
  // format, a file that cannot be created, or a failed header write (the
  // writer is then closed).
  int Create(const char *path);

  // Appends one frame: frameBytes() bytes of a 24-bit W x H image whose rows
  // are padded to a multiple of 4 bytes, written without a copy. Returns 0
  // when the chunk was written; -1 when the writer is not open, pixels is
  // null, an earlier frame failed, the file would pass its size limit, or
  // the write failed (the partial chunk is removed again). After -1 every
  // later frame is refused; the caller should stop recording.
  int WriteFrame(const uint8_t *pixels);

  // Appends the index, patches sizes, frame counts and timing from
  // frameRate() (hundredths of frames per second; 0 counts as 1, the slowest
  // rate the header can express) and closes the file. Returns 0 when the
  // recording is complete; -1 when the writer was not open, a frame was
  // refused or lost, or the index or a patch could not be written.
  int Finish();

  bool isOpen() const { return fd_ >= 0; }
  // Frames in the file so far.
  uint32_t framesWritten() const { return static_cast<uint32_t>(index_.size()); }
  // S: bytes of one frame's pixel data.
  uint32_t frameBytes() const { return frameBytes_; }
  // errno of the first failed write or open, 0 when none.
  int lastError() const { return lastError_; }

  // Images of the three headers as last written (little-endian).
  const uint8_t *mainHeader() const { return mainHeader_; }
  const uint8_t *streamHeader() const { return streamHeader_; }
  const uint8_t *streamFormat() const { return streamFormat_; }

 private:
  struct IndexEntry {
    char id[4];
    uint32_t flags;
    uint32_t offset;
    uint32_t size;
  };
  static_assert(sizeof(IndexEntry) == 16, "index entries are 16 bytes");

  void Close();
  void Reset();
  bool WriteAt(uint64_t offset, const void *data, size_t bytes);
  bool PatchU32(uint64_t offset, uint32_t value);
  bool GrowIndex();

  uint64_t maxFileBytes_;
  int fd_ = -1;
  uint8_t mainHeader_[56] = {};
  uint8_t streamHeader_[64] = {};
  uint8_t streamFormat_[40] = {};
  uint32_t riffSize_ = 0;     // bytes after the RIFF size field
  uint32_t moviSize_ = 0;     // bytes of the movie list from "movi"
  uint32_t moviSizePos_ = 0;  // file offset of the movie list's size field
  std::vector<IndexEntry> index_;
  int32_t frameWidth_ = 0;
  int32_t frameHeight_ = 0;
  uint32_t frameRate_ = 0;
  uint32_t frameCount_ = 0;
  uint32_t frameBytes_ = 0;
  bool frameFailed_ = false;  // a frame was refused or lost since Create
  int lastError_ = 0;
};

}  // namespace quorel
