// Frame metadata and stream statistics (QuorelStream.h): the frame last
// delivered, and the counters of the current acquisition.
#include "QuorelStream.h"
#include "api/ExportFrame.h"

extern "C" {

QUOREL_API int QuorelStream_GetFrameMeta(int handle, QuorelFrameMeta *meta) {
  QUOREL_FORWARD(0, camera.GetFrameMeta(meta));
}

QUOREL_API int QuorelStream_GetStatistics(int handle, QuorelStreamStats *stats) {
  QUOREL_FORWARD(0, camera.GetStreamStatistics(stats));
}

QUOREL_API int QuorelStream_ResetStatistics(int handle) {
  QUOREL_FORWARD(0, camera.ResetStreamStatistics());
}

}  // extern "C"
