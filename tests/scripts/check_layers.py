#!/usr/bin/env python3
"""Fails when a source file includes a header of a layer it may not use.

The library is built in layers; each folder may include the public headers
(include/), its own headers and those of the folders listed for it below,
never a folder above it:

    include/  public headers: nothing internal
    platform/ operating-system services, error codes, lock annotations
    settings/ the settings model (CameraSettings.h) and its file store
    image/    pixel kernels and the frame pipeline       (settings, platform)
    device/   the device library and the virtual camera  (platform)
    output/   still-image and AVI writers                (image, settings, platform)
    camera/   the camera object and its acquisition      (everything above, dialogs)
    dialogs/  dialog logic beside camera/: may use camera/ and what camera/ uses
    api/      the exported C functions                   (everything above)
    gui/      the dlopen-ed windowing module: platform/ only
    tools/, gst/, examples/, python/: public headers only, through the
              installed library (exceptions are listed below)
    tests/, bench/, fuzz/: anything

A new folder of sources must be added here (an unknown one fails the check).
Run: check_layers.py <source root>
"""
import os
import re
import sys

LIBRARY_BELOW_API = {"platform", "settings", "image", "device", "output", "camera", "dialogs"}
ALLOWED = {
    "include": set(),
    "platform": {"platform"},
    "settings": {"settings", "platform"},
    "image": {"image", "settings", "platform"},
    "device": {"device", "platform"},
    "output": {"output", "image", "settings", "platform"},
    "camera": LIBRARY_BELOW_API,
    "dialogs": LIBRARY_BELOW_API,
    "api": LIBRARY_BELOW_API | {"api"},
    "gui": {"gui", "platform"},
    "tools": {"tools"},
    "gst": {"gst"},
    "examples": {"examples"},
    "python": {"python"},
    "tests": None,  # anything
    "bench": None,
    "fuzz": None,
}

# Known exceptions, each with its reason: file -> internal headers it may use.
# None at present: the tools' offline file work goes through QuorelFiles.h.
EXCEPTIONS = {}

SKIP_DIRS = {".git", "build", "cmake", "docs", "packaging", "scripts"}
SOURCE = re.compile(r"\.(c|cc|cpp|h|hpp|inc)$")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(relative):
    return relative.split("/", 1)[0]


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    errors = []
    top_dirs = {d for d in os.listdir(root) if os.path.isdir(os.path.join(root, d))}
    for top in sorted(top_dirs - SKIP_DIRS):
        if top.startswith(".") or top.startswith("build"):
            continue
        if top not in ALLOWED:
            has_sources = any(SOURCE.search(n) for _, _, names in os.walk(os.path.join(root, top)) for n in names)
            if has_sources:
                errors.append(f"{top}/: folder of sources without a layer rule in tests/scripts/check_layers.py")
            continue
        allowed = ALLOWED[top]
        for dirpath, dirnames, filenames in os.walk(os.path.join(root, top)):
            dirnames[:] = [d for d in dirnames if not d.startswith("build")]
            for name in filenames:
                if not SOURCE.search(name):
                    continue
                path = os.path.join(dirpath, name)
                relative = os.path.relpath(path, root)
                with open(path, encoding="utf-8", errors="replace") as source:
                    text = source.read()
                for included in INCLUDE.findall(text):
                    if "/" not in included:
                        continue  # public header, or one beside the file
                    target = folder_of(included)
                    if target not in ALLOWED or allowed is None:
                        continue  # a system or generated header, or an unrestricted folder
                    if target in allowed or included in EXCEPTIONS.get(relative, set()):
                        continue
                    errors.append(f"{relative}: includes {included} ({top}/ may not use {target}/)")
    for error in errors:
        print(error)
    if errors:
        print(f"{len(errors)} layering violation(s)")
        return 1
    print("layers: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
