#!/usr/bin/env python3
"""Streams frames, reports lost frames from the sequence numbers, and prints
the library's stream statistics; saves the last frame as a PNG file.

    QUOREL_DRIVER=sim QUOREL_SIM="fps=30" python3 stream_stats.py --frames 60 --out last.png

Add ``--slow 0.1`` to take only one frame every 0.1 s and watch the gaps.
"""

from __future__ import annotations

import argparse
import sys
import time

import quorel


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--unit", type=int, default=0, help="camera unit (default 0)")
    parser.add_argument("--frames", type=int, default=60, help="frames to take (default 60)")
    parser.add_argument("--bits", type=int, default=24, choices=[8, 16, 24, 32, 48, 64], help="colour mode")
    parser.add_argument("--slow", type=float, default=0.0, help="seconds to dawdle after each frame")
    parser.add_argument("--out", help="save the last frame to this file (the suffix picks the type)")
    args = parser.parse_args()

    try:
        with quorel.Camera(args.unit) as cam:
            cam.color_mode = args.bits
            print(f"camera {cam.info()['name']}, {cam.image_size[0]} x {cam.image_size[1]}, {args.bits} bits")
            previous = None
            lost = 0
            for image, meta in cam.stream(count=args.frames):
                if previous is not None:
                    gap = meta.sequence - previous.sequence - 1
                    lost += gap
                    interval_ms = (meta.timestamp_ns - previous.timestamp_ns) / 1e6
                    note = f"  ({gap} not seen)" if gap else ""
                    print(f"frame {meta.sequence:6d}  +{interval_ms:7.2f} ms  mean level {image.mean():6.1f}{note}")
                previous = meta
                if args.slow:
                    time.sleep(args.slow)
            stats = cam.statistics()
            print(f"{args.frames} frames taken, {lost} between them not seen")
            print(
                f"library: completed {stats.completed}, delivered {stats.delivered}, dropped {stats.dropped}, "
                f"short {stats.short_frames}, failed {stats.failed_transfers}, time-outs {stats.timeouts}, "
                f"copy failures {stats.copy_failures}, {stats.mean_rate:.1f} fps on average"
            )
            if args.out:
                cam.save(args.out)
                print(f"saved {args.out}")
    except quorel.QuorelError as error:
        print(f"error: {error} (code {error.code}, {error.name}, in {error.export})", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
