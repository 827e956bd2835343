#!/usr/bin/env bash
# Usage: install_tree_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$1"
source="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

"$CMAKE_COMMAND" --install "$build" --prefix "$prefix" >/dev/null
test -f "$prefix/include/quorel/QuorelSdk_470KX_PLU.h"
soname=$(objdump -p "$prefix"/lib*/libQuorelSdk_470KX_PLU.so | awk '/SONAME/ {print $2}')
test "$soname" = "libQuorelSdk_470KX_PLU.so.1"

libdir=$(dirname "$(ls "$prefix"/lib*/libQuorelSdk_470KX_PLU.so)")
# The GUI module lies beside the library, which finds it there at run time
# and links no windowing library itself.
test -f "$libdir/libQuorelGui_470KX_PLU.so.1"
if objdump -p "$libdir/libQuorelSdk_470KX_PLU.so" | grep -E "NEEDED.*(libX11|libXext|libgtk|libgdk)"; then
  echo "the core library links a windowing library" >&2
  exit 1
fi
export PKG_CONFIG_PATH="$libdir/pkgconfig"
export QUOREL_DRIVER=sim
export QUOREL_REGISTRY="$work/registry.reg"
export QUOREL_SHM_NAME="/quorel_install_test_$$"

# The installed tool finds the library through its $ORIGIN-relative run path.
# (Output is captured first: grep -q closing the pipe early fails it under pipefail.)
version=$(env -u LD_LIBRARY_PATH "$prefix/bin/quorel" --version)
grep -q "library version 26477855" <<<"$version"
cameras=$(env -u LD_LIBRARY_PATH "$prefix/bin/quorel" --sim list -q)
grep -q "Quorel470KX-PLU_01" <<<"$cameras"

# The installed GStreamer element loads from below the prefix, library included.
plugin=$(find "$prefix" -name libgstquorel.so | head -n 1)
if [ -n "$plugin" ] && command -v gst-inspect-1.0 >/dev/null; then
  inspected=$(env -u LD_LIBRARY_PATH GST_PLUGIN_PATH="$(dirname "$plugin")" GST_REGISTRY="$work/gst-registry.bin" \
    gst-inspect-1.0 quorelsrc)
  grep -q "Source/Video" <<<"$inspected"
fi

# pkg-config
"$C_COMPILER" -std=c11 -Wall -Wextra -Werror "$source/examples/camera_info.c" \
  $(pkg-config --cflags --libs quorel-sdk) -Wl,-rpath,"$libdir" -o "$work/camera_info_pc"
"$work/camera_info_pc" | grep -q "library version   26477855"

# find_package
"$CMAKE_COMMAND" -S "$source/tests/install_consumer" -B "$work/consumer" \
  -DCMAKE_PREFIX_PATH="$prefix" -DQUOREL_EXAMPLE="$source/examples/camera_info.c" >/dev/null
"$CMAKE_COMMAND" --build "$work/consumer" >/dev/null
"$work/consumer/camera_info" | grep -q "library version   26477855"
echo "install tree: pkg-config and find_package consumers built and ran"
