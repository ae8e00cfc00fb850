#!/usr/bin/env python3
"""The editor's Record chain: what the 10th Record costs against the 1st.

Ten Records of 30 s spans from the 500 MB benchmark source (bench/make_bench_media.sh), as the
editor runs them: the 1st cuts its span into temp0; the k-th cuts into temp(2k-3) and joins the
previous result temp(2k-4) and that segment into temp(2k-2). The time of a Record is its cut plus
its join; each Record starts after a sync, and of --runs chains the best time of each Record is
kept. The editor's join appends to the previous result's own file (-append), so it writes only
the new segment; the peer is the same chain joined by copying the previous result (which the
kernel does, into blocks shared with it where the file system can share them, so its type is
printed too). Prints BENCH lines.

    bench/record_chain.py [--asfbin PATH] [--runs N] [--work DIR] [FILE]
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from cut_join import duration_seconds, warm  # noqa: E402

TOP = os.path.dirname(HERE)
RECORDS = 10
SPAN = 30


def run(argv):
    start = time.perf_counter()
    proc = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit(f"{' '.join(argv)} failed with exit code {proc.returncode}:\n{proc.stdout.decode(errors='replace')}")
    return elapsed


def file_system(path):
    try:
        found = subprocess.check_output(["findmnt", "-n", "-o", "FSTYPE", "-T", path], text=True).strip()
        if found:
            return found
    except (OSError, subprocess.CalledProcessError):
        pass
    return subprocess.check_output(["stat", "-f", "-c", "%T", path], text=True).strip()


def chain(asfbin, src, length, work, append):
    """One chain of Records; returns the seconds of each."""
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    step = (length - SPAN) / (RECORDS - 1)
    times = []
    for k in range(1, RECORDS + 1):
        start = round((k - 1) * step, 3)
        segment = os.path.join(work, f"temp{0 if k == 1 else 2 * k - 3}")
        subprocess.run(["sync"])
        took = run([asfbin, "-i", src, "-o", segment, "-start", str(start), "-stop", str(start + SPAN), "-y"])
        if k > 1:
            took += run([asfbin, "-i", os.path.join(work, f"temp{2 * k - 4}"), "-i", segment,
                         "-o", os.path.join(work, f"temp{2 * k - 2}"), "-y"] + (["-append"] if append else []))
        times.append(took)
    return times


def main():
    ap = argparse.ArgumentParser()
    default_build = os.environ.get("KESTRINE_BUILD_DIR", os.path.join(TOP, "build"))
    ap.add_argument("--asfbin", default=os.path.join(default_build, "bin", "asfbin.exe"))
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--work", default=os.environ.get("KESTRINE_BENCH_MEDIA", "/tmp/kestrine-bench"))
    ap.add_argument("file", nargs="?")
    args = ap.parse_args()

    src = args.file or subprocess.check_output([os.path.join(HERE, "make_bench_media.sh"), "600"], text=True).strip()
    length = duration_seconds(src)
    work = os.path.join(args.work, "record_chain")
    warm(src)
    best = {}
    used = {}
    for _ in range(args.runs):
        for append in (True, False):
            times = chain(args.asfbin, src, length, work, append)
            best[append] = times if append not in best else [min(a, b) for a, b in zip(best[append], times)]
            used[append] = sum(os.stat(os.path.join(work, n)).st_blocks * 512 for n in os.listdir(work))
    result = os.path.join(work, f"temp{2 * RECORDS - 2}")
    print(f"file system: {file_system(work)}")
    for append, name in ((True, "record_chain"), (False, "record_chain_copying")):
        times = best[append]
        print(f"BENCH {name}_1st_ms {times[0] * 1000:.0f} ms")
        print(f"BENCH {name}_10th_ms {times[-1] * 1000:.0f} ms")
        print(f"BENCH {name}_10th_vs_1st_ratio {times[-1] / times[0]:.2f} x")
        print(f"BENCH {name}_files_mb {used[append] / 1e6:.0f} MB")
    print(f"BENCH record_chain_result_mb {os.path.getsize(result) / 1e6:.0f} MB")
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
