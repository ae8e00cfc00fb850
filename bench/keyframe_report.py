#!/usr/bin/env python3
"""Keyframe report against its peer, side by side in one run.

Times `asfbin.exe -i FILE -infokf` and
`ffprobe -v error -select_streams v -show_entries packet=pts_time,flags -of csv` on the same
file with the page cache warm, and prints BENCH lines: both times (best of several runs), their
ratio, and both peak resident sizes. Also checks that both list the same keyframes.

    bench/keyframe_report.py [--asfbin PATH] [--runs N] [FILE]

Without FILE the 500 MB benchmark source is made (once) by bench/make_bench_media.sh.
"""
import argparse
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)


def run_measured(argv):
    """Runs argv with stdout captured; returns (seconds, peak RSS in MB, stdout bytes).

    The peak comes from GNU time, a small C program: the rusage Python gets for its own children
    counts the interpreter's pages copied by fork, which would swamp a small program's figure.
    """
    rss_file = "/tmp/kestrine-bench-rss.%d" % os.getpid()
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", rss_file] + argv,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit(f"{argv[0]} failed with exit code {proc.returncode}")
    with open(rss_file) as f:
        rss_kb = int(f.read().split()[-1])
    os.unlink(rss_file)
    return elapsed, rss_kb / 1024.0, proc.stdout


def warm(path):
    with open(path, "rb") as f:
        while f.read(1 << 22):
            pass


def main():
    ap = argparse.ArgumentParser()
    default_build = os.environ.get("KESTRINE_BUILD_DIR", os.path.join(TOP, "build"))
    ap.add_argument("--asfbin", default=os.path.join(default_build, "bin", "asfbin.exe"))
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("file", nargs="?")
    args = ap.parse_args()

    path = args.file or subprocess.check_output([os.path.join(HERE, "make_bench_media.sh")], text=True).strip()
    ours_cmd = [args.asfbin, "-i", path, "-infokf"]
    peer_cmd = ["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries", "packet=pts_time,flags",
                "-of", "csv", path]

    warm(path)
    ours, peer = [], []
    ours_out = peer_out = b""
    for _ in range(args.runs):  # alternate, so both see the same machine state
        t, rss, ours_out = run_measured(ours_cmd)
        ours.append((t, rss))
        t, rss, peer_out = run_measured(peer_cmd)
        peer.append((t, rss))

    mine = [int(l.split()[0]) for l in ours_out.decode().splitlines()[14:] if "  X" in l]
    theirs = []
    for line in peer_out.decode().splitlines():
        parts = line.split(",")
        if len(parts) >= 3 and parts[2].startswith("K"):
            theirs.append(round(float(parts[1]) * 1000))
    if mine != theirs:
        sys.exit(f"keyframe lists differ: {len(mine)} from asfbin.exe, {len(theirs)} from ffprobe")

    t_ours = min(t for t, _ in ours)
    t_peer = min(t for t, _ in peer)
    size_mb = os.path.getsize(path) / 1e6
    print(f"BENCH keyframe_report_file_size {size_mb:.1f} MB")
    print(f"BENCH keyframe_report_keyframes {len(mine)} count")
    print(f"BENCH keyframe_report_time {t_ours:.3f} s")
    print(f"BENCH ffprobe_keyframes_time {t_peer:.3f} s")
    print(f"BENCH keyframe_report_time_ratio {t_ours / t_peer:.4f} ratio")
    print(f"BENCH keyframe_report_peak_rss {max(r for _, r in ours):.1f} MB")
    print(f"BENCH ffprobe_keyframes_peak_rss {max(r for _, r in peer):.1f} MB")
    ok = t_ours <= 0.5 * t_peer and max(r for _, r in ours) <= 16.0
    print(f"BENCH keyframe_report_targets_met {1 if ok else 0} bool")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
