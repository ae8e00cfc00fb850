#!/bin/sh
# Makes (once) the shared benchmark source: 600 s of testsrc2 640x480 at 25 fps, wmv2 at 8 Mbit/s
# with wmav2, about 500 MB. Prints its path. It is large, so it never goes into the repository:
# it is kept in $KESTRINE_BENCH_MEDIA (default /tmp/kestrine-bench).
#   bench/make_bench_media.sh [SECONDS]    (a shorter duration makes a smaller file for trials)
set -eu
seconds=${1:-600}
dir=${KESTRINE_BENCH_MEDIA:-/tmp/kestrine-bench}
out=$dir/testsrc2-640x480-wmv2-8M-${seconds}s.wmv
mkdir -p "$dir"
if [ ! -s "$out" ]; then
    tmp=$out.part.$$
    trap 'rm -f "$tmp"' EXIT INT TERM HUP
    ffmpeg -nostdin -loglevel error -y \
        -f lavfi -i "testsrc2=size=640x480:rate=25:duration=$seconds" \
        -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$seconds" \
        -map 0:v -map 1:a -c:v wmv2 -b:v 8M -g 25 \
        -c:a wmav2 -b:a 128k -ac 2 -f asf "$tmp"
    mv "$tmp" "$out"
    trap - EXIT INT TERM HUP
fi
echo "$out"
