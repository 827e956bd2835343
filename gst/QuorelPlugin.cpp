// The plug-in that carries the quorelsrc element.
#include <gst/gst.h>

#include "QuorelSrc.h"

#ifndef PACKAGE
#define PACKAGE "quorel"
#endif
#ifndef QUOREL_GST_VERSION
#define QUOREL_GST_VERSION "1.0.0"
#endif

namespace {

gboolean PluginInit(GstPlugin *plugin) {
  return gst_element_register(plugin, "quorelsrc", GST_RANK_NONE, QUOREL_TYPE_SRC);
}

}  // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, quorel, "470KX camera source", PluginInit, QUOREL_GST_VERSION,
                  "Proprietary", "QuorelSdk_470KX_PLU", "https://example.invalid/quorel")
