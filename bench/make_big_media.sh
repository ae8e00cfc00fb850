#!/bin/sh
# Makes (once) the big benchmark source: SECONDS (default 190) of 1280x720 noise at 25 fps in wmv2 at
# high quality with wmav2, 3200-byte packets, about 4.7 GB: a packet count where per-packet work
# shows. Prints its path. Kept in $KESTRINE_BENCH_MEDIA (default /tmp/kestrine-bench) like the
# other bench media; about two minutes of CPU to make.
#   bench/make_big_media.sh [SECONDS]    (a shorter duration makes a smaller file for trials)
set -eu
seconds=${1:-190}
dir=${KESTRINE_BENCH_MEDIA:-/tmp/kestrine-bench}
out=$dir/noise-1280x720-wmv2-q2-${seconds}s.wmv
mkdir -p "$dir"
if [ ! -s "$out" ]; then
    tmp=$out.part.$$
    trap 'rm -f "$tmp"' EXIT INT TERM HUP
    ffmpeg -nostdin -loglevel error -y \
        -f lavfi -i "color=c=gray:s=1280x720:r=25:d=$seconds,noise=alls=60:allf=t+u" \
        -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$seconds" \
        -map 0:v -map 1:a -c:v wmv2 -q:v 2 -g 25 \
        -c:a wmav2 -b:a 128k -ac 2 -packet_size 3200 -f asf "$tmp"
    mv "$tmp" "$out"
    trap - EXIT INT TERM HUP
fi
echo "$out"
