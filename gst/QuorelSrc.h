// quorelsrc: a live GStreamer push source over the camera library's public C
// API (QuorelSdk_470KX_PLU.h, QuorelHost.h, QuorelStream.h, QuorelSim.h).
//
// One element drives one camera unit through its own camera handle. Frames
// come from live preview with frame messages (or from the external trigger),
// and each buffer is a copy of the frame the library delivered last, taken
// with Quorel_GetImage together with its metadata (sequence number, transfer
// time), so that a buffer's contents, offset and timestamp describe the same
// frame.
//
// Threads: properties are set from any thread under the object lock; start()
// and stop() run on the state-change thread, create() on the streaming
// thread; unlock() may run on any thread and only sets a flag that create()
// polls.
#pragma once

#include <gst/base/gstpushsrc.h>
#include <gst/gst.h>

G_BEGIN_DECLS

#define QUOREL_TYPE_SRC (quorel_src_get_type())
G_DECLARE_FINAL_TYPE(QuorelSrc, quorel_src, QUOREL, SRC, GstPushSrc)

G_END_DECLS
