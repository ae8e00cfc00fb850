#!/usr/bin/env python3
"""Cut and join against their peers, side by side in one run.

On the 500 MB benchmark source (page cache warm):
  cut   asfbin.exe -i SRC -o OUT -start 150 -stop 450 -y   (the middle half of a source of any length)
        against cp of a file of the output's size, cp followed by an fsync of the copy (asfbin.exe
        syncs its output before publishing it), and ffmpeg -ss 150 -to 450 -i SRC -c copy -map 0 OUT;
  join  asfbin.exe -i FIRST_HALF -i SECOND_HALF -o OUT -y
        against the same cp pair and ffmpeg's concat demuxer with -c copy -map 0;
  join of sound only: the two halves of a 30-minute WMA2 file (made once beside the source), against
        ffmpeg's concat demuxer.
Each command runs several times, alternating with its peers; the best time of each is kept. Peak
memory comes from GNU time; a cut of a 60 s file beside the 600 s one shows it does not grow with
the file. Prints BENCH lines.

    bench/cut_join.py [--asfbin PATH] [--runs N] [--work DIR] [--seconds S] [FILE]

Without FILE the source is made (once) by bench/make_bench_media.sh, S seconds long (default 600).
"""
import argparse
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)


def run_measured(argv):
    """Runs argv; returns (seconds, peak RSS in MB). Fails the benchmark if the command fails."""
    rss_file = "/tmp/kestrine-bench-rss.%d" % os.getpid()
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", rss_file] + argv,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit(f"{' '.join(argv)} failed with exit code {proc.returncode}:\n"
                 f"{proc.stdout.decode(errors='replace')}{proc.stderr.decode(errors='replace')}")
    with open(rss_file) as f:
        rss_kb = int(f.read().split()[-1])
    os.unlink(rss_file)
    return elapsed, rss_kb / 1024.0


def warm(path):
    with open(path, "rb") as f:
        while f.read(1 << 22):
            pass


def remove(*paths):
    for p in paths:
        if os.path.exists(p):
            os.unlink(p)


def best_of(commands, runs, outputs):
    """commands: name -> argv. Alternates them `runs` times; returns name -> (best seconds, peak MB)."""
    times = {name: [] for name in commands}
    for _ in range(runs):
        for name, argv in commands.items():
            remove(*outputs)
            subprocess.run(["sync"])  # earlier runs' dirty pages are not charged to this one
            times[name].append(run_measured(argv))
    return {name: (min(t for t, _ in v), max(m for _, m in v)) for name, v in times.items()}


def bench(label, ours, peers, runs, outputs):
    results = best_of({"ours": ours, **peers}, runs, outputs)
    t_ours, rss = results["ours"]
    print(f"BENCH {label}_seconds {t_ours:.3f} s")
    for name in peers:
        print(f"BENCH {label}_{name}_seconds {results[name][0]:.3f} s")
    for name in peers:
        print(f"BENCH {label}_vs_{name}_ratio {t_ours / results[name][0]:.2f} x")
    print(f"BENCH {label}_peak_rss {rss:.1f} MB")
    return results


def duration_seconds(path):
    out = subprocess.check_output(["ffprobe", "-v", "error", "-show_entries", "format=duration",
                                   "-of", "default=noprint_wrappers=1:nokey=1", path], text=True)
    return float(out.strip())


def audio_only_source(work):
    """A 30-minute WMA2 file (128 kbit/s stereo), made once and kept with the other bench media."""
    path = os.path.join(work, "sine-wmav2-128k-1800s.wma")
    if not os.path.exists(path):
        part = path + ".part.%d" % os.getpid()
        subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi",
                        "-i", "sine=frequency=440:sample_rate=44100:duration=1800", "-ac", "2",
                        "-c:a", "wmav2", "-b:a", "128k", "-f", "asf", part], check=True)
        os.replace(part, path)
    return path


def main():
    ap = argparse.ArgumentParser()
    default_build = os.environ.get("KESTRINE_BUILD_DIR", os.path.join(TOP, "build"))
    ap.add_argument("--asfbin", default=os.path.join(default_build, "bin", "asfbin.exe"))
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--work", default=os.environ.get("KESTRINE_BENCH_MEDIA", "/tmp/kestrine-bench"))
    ap.add_argument("--seconds", type=int, default=600)
    ap.add_argument("file", nargs="?")
    args = ap.parse_args()

    make = os.path.join(HERE, "make_bench_media.sh")
    src = args.file or subprocess.check_output([make, str(args.seconds)], text=True).strip()
    # The cut takes the middle half and the join puts the two halves back together, so the figures
    # keep their meaning for a source of any length: 150 s to 450 s of the 600 s one.
    length = int(duration_seconds(src))
    quarter, half, three_quarters = length // 4, length // 2, 3 * length // 4
    # The memory figure needs a file a tenth as long, cut in the same proportions.
    small_length = max(8, length // 10)
    small = subprocess.check_output([make, str(small_length)], text=True).strip()
    work = os.path.join(args.work, "cut_join")
    os.makedirs(work, exist_ok=True)
    out = os.path.join(work, "out.wmv")
    peer_out = os.path.join(work, "peer.wmv")
    sized = os.path.join(work, "sized.bin")
    warm(src)

    # Cut the middle half.
    cut = [args.asfbin, "-i", src, "-o", out, "-start", str(quarter), "-stop", str(three_quarters), "-y"]
    run_measured(cut)
    os.replace(out, sized)  # a file of the output's size for cp
    warm(sized)
    cp = ["cp", sized, peer_out]
    cp_sync = ["sh", "-c", 'cp "$1" "$2" && sync "$2"', "sh", sized, peer_out]
    ffmpeg_cut = ["ffmpeg", "-nostdin", "-v", "error", "-y", "-ss", str(quarter), "-to", str(three_quarters), "-i", src,
                  "-c", "copy", "-map", "0", peer_out]
    bench("cut", cut, {"cp": cp, "cp_fsync": cp_sync, "ffmpeg": ffmpeg_cut}, args.runs, [out, peer_out])

    # Memory does not grow with the file: the same cut shape on a file a tenth the size.
    small_cut = [args.asfbin, "-i", small, "-o", out, "-start", str(small_length // 4),
                 "-stop", str(3 * small_length // 4), "-y"]
    _, small_rss = run_measured(small_cut)
    print(f"BENCH cut_small_file_peak_rss {small_rss:.1f} MB")

    # Join of the two halves, kept per source so that sources of other lengths do not reuse them.
    stem = os.path.splitext(os.path.basename(src))[0]
    first = os.path.join(work, stem + ".first.wmv")
    second = os.path.join(work, stem + ".second.wmv")
    if not (os.path.exists(first) and os.path.exists(second)):
        run_measured([args.asfbin, "-i", src, "-o", first, "-stop", str(half), "-y"])
        run_measured([args.asfbin, "-i", src, "-o", second, "-start", str(half), "-y"])
    warm(first)
    warm(second)
    join = [args.asfbin, "-i", first, "-i", second, "-o", out, "-y"]
    run_measured(join)
    os.replace(out, sized)
    warm(sized)
    listing = os.path.join(work, "halves.txt")
    with open(listing, "w") as f:
        f.write(f"file '{first}'\nfile '{second}'\n")
    ffmpeg_join = ["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "concat", "-safe", "0", "-i", listing,
                   "-c", "copy", "-map", "0", peer_out]
    bench("join", join, {"cp": cp, "cp_fsync": cp_sync, "ffmpeg": ffmpeg_join}, args.runs, [out, peer_out])

    # Sound alone: every object's length comes from the next one's time, none from the byte rate.
    audio = audio_only_source(args.work)
    audio_first = os.path.join(work, "sine.first.wma")
    audio_second = os.path.join(work, "sine.second.wma")
    if not (os.path.exists(audio_first) and os.path.exists(audio_second)):
        run_measured([args.asfbin, "-i", audio, "-o", audio_first, "-stop", "900", "-y"])
        run_measured([args.asfbin, "-i", audio, "-o", audio_second, "-start", "900", "-y"])
    warm(audio_first)
    warm(audio_second)
    audio_out = os.path.join(work, "out.wma")
    audio_peer = os.path.join(work, "peer.wma")
    audio_listing = os.path.join(work, "audio-halves.txt")
    with open(audio_listing, "w") as f:
        f.write(f"file '{audio_first}'\nfile '{audio_second}'\n")
    bench("join_audio_only", [args.asfbin, "-i", audio_first, "-i", audio_second, "-o", audio_out, "-y"],
          {"ffmpeg": ["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "concat", "-safe", "0", "-i", audio_listing,
                      "-c", "copy", "-map", "0", audio_peer]}, args.runs, [audio_out, audio_peer])
    remove(out, peer_out, sized, audio_out, audio_peer)


if __name__ == "__main__":
    main()
