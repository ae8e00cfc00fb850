#!/usr/bin/env python3
"""Copy, cut and join of a big file with many small packets, against cp + fsync, side by side.

On the big source of bench/make_big_media.sh (190 s of 1280x720 noise in 3200-byte packets, about
4.7 GB; page cache as warm as memory allows):
  copy  asfbin.exe -i BIG -o OUT -y
  cut   asfbin.exe -i BIG -o OUT -start 60 -stop 130 -y     (70 s, the middle of the file)
  join  asfbin.exe -i FIRST_HALF -i SECOND_HALF -o OUT -y   (the halves made once beside the file)
each against cp of a file of the output's size followed by an fsync of the copy (asfbin.exe syncs its
output before publishing it). Each command runs --runs times, alternating with its peer; the best
time is kept. Peak memory from GNU time. Prints BENCH lines.

    bench/big_file.py [--asfbin PATH] [--runs N] [--work DIR] [--seconds S]

A shorter --seconds makes a smaller source of the same kind (the spans keep their proportions).
"""
import argparse
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from cut_join import bench, remove, run_measured, warm  # noqa: E402

TOP = os.path.dirname(HERE)


def main():
    ap = argparse.ArgumentParser()
    default_build = os.environ.get("KESTRINE_BUILD_DIR", os.path.join(TOP, "build"))
    ap.add_argument("--asfbin", default=os.path.join(default_build, "bin", "asfbin.exe"))
    ap.add_argument("--runs", type=int, default=2)
    ap.add_argument("--work", default=os.environ.get("KESTRINE_BENCH_MEDIA", "/tmp/kestrine-bench"))
    ap.add_argument("--seconds", type=int, default=190)
    args = ap.parse_args()

    env = dict(os.environ, KESTRINE_BENCH_MEDIA=args.work)
    src = subprocess.check_output([os.path.join(HERE, "make_big_media.sh"), str(args.seconds)], text=True,
                                  env=env).strip()
    length = args.seconds
    cut_from, cut_to = length * 6 // 19, length * 13 // 19  # 60 s to 130 s of 190 s
    work = os.path.join(args.work, "big_file")
    os.makedirs(work, exist_ok=True)
    out = os.path.join(work, "out.wmv")
    peer_out = os.path.join(work, "peer.wmv")
    sized = os.path.join(work, "sized.bin")
    cp_sync = lambda source: ["sh", "-c", 'cp "$1" "$2" && sync "$2"', "sh", source, peer_out]
    print(f"source: {src}, {os.path.getsize(src) / 1e9:.2f} GB")

    warm(src)
    bench("copy_big", [args.asfbin, "-i", src, "-o", out, "-y"], {"cp_fsync": cp_sync(src)}, args.runs,
          [out, peer_out])

    cut = [args.asfbin, "-i", src, "-o", out, "-start", str(cut_from), "-stop", str(cut_to), "-y"]
    run_measured(cut)
    os.replace(out, sized)
    warm(src)
    bench("cut_big", cut, {"cp_fsync": cp_sync(sized)}, args.runs, [out, peer_out])
    remove(sized)

    stem = os.path.splitext(os.path.basename(src))[0]
    first = os.path.join(work, stem + ".first.wmv")
    second = os.path.join(work, stem + ".second.wmv")
    if not (os.path.exists(first) and os.path.exists(second)):
        run_measured([args.asfbin, "-i", src, "-o", first, "-stop", str(length // 2), "-y"])
        run_measured([args.asfbin, "-i", src, "-o", second, "-start", str(length // 2), "-y"])
    join = [args.asfbin, "-i", first, "-i", second, "-o", out, "-y"]
    run_measured(join)
    os.replace(out, sized)
    warm(first)
    warm(second)
    bench("join_big", join, {"cp_fsync": cp_sync(sized)}, args.runs, [out, peer_out])
    remove(out, peer_out, sized)


if __name__ == "__main__":
    main()
