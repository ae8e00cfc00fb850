#!/usr/bin/env bash
# Runs kestrine_media_check over the real-world samples and over media made here by ffmpeg, then
# hands it the neighbouring pictures of the moving ones, which it must call failures.
#   media_check_test.sh CHECK SHARED_MEDIA_DIR WORK_DIR
set -euo pipefail
check=$1 shared=$2 work=$3
mkdir -p "$work"

# make NAME FFMPEG-ARGS...: made once, kept for later runs
make() {
    local out=$work/$1; shift
    [ -s "$out" ] && return
    local tmp=$work/.tmp.$$.${out##*/}
    ffmpeg -v error -y "$@" "$tmp"
    mv -f "$tmp" "$out"
}
moving=(-f lavfi -i testsrc2=size=320x240:rate=25:duration=4 -f lavfi -i sine=frequency=440:duration=4)
make wmv2-wmav2.wmv "${moving[@]}" -c:v wmv2 -b:v 600k -g 12 -c:a wmav2 -b:a 64k
make msmpeg4-wmav1.asf "${moving[@]}" -c:v msmpeg4 -b:v 600k -g 25 -c:a wmav1 -b:a 64k
make wmv1-odd-size.wmv -f lavfi -i testsrc2=size=174x98:rate=30:duration=3 -c:v wmv1 -b:v 300k -g 30
make wmav2-only.wma -f lavfi -i sine=frequency=300:duration=3 -c:a wmav2 -b:a 96k
generated=("$work/wmv2-wmav2.wmv" "$work/msmpeg4-wmav1.asf" "$work/wmv1-odd-size.wmv" "$work/wmav2-only.wma")

"$check" "$shared/real" "$shared/wmv9-wma2-768x576.wmv" "${generated[@]}"

# Shown one frame off, every moving file must fail.
shifted=$("$check" --frame-shift 1 "${generated[@]:0:3}" || true)
echo "$shifted"
echo "$shifted" | grep -q '^3 files, 0 ok, 3 failed$' || { echo "the check passed pictures one frame off"; exit 1; }
