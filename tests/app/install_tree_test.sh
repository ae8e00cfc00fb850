#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks the tree a user or a package would get:
# both programs side by side and answering --version with the build's version (without a display),
# the desktop entry, the icons, the manual pages, the installed cutter working on real media, and,
# where a virtual X server is at hand, the installed editor finding its cutter beside it.
#   install_tree_test.sh BUILD_DIR VERSION
set -uo pipefail
build=$1
version=$2
scratch=$(mktemp -d "${TMPDIR:-/tmp}/kestrine-install-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/usr
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

if ! cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1; then
    cat "$scratch/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi

# --- Programs -------------------------------------------------------------------------------
editor=$prefix/bin/kestrine
cutter=$prefix/bin/asfbin.exe
for program in "$editor" "$cutter"; do
    [ -x "$program" ] || fail "$program is not installed as an executable"
done
[ "$failures" -eq 0 ] || exit 1

# Both must answer with no display at all: a toolkit started first would abort here.
no_display=(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb)
editor_version=$("${no_display[@]}" "$editor" --version 2>&1)
[ "$editor_version" = "kestrine $version" ] || fail "kestrine --version printed '$editor_version', not 'kestrine $version'"
cutter_version=$("$cutter" --version 2>&1)
[ "$cutter_version" = "asfbin.exe $version" ] || fail "asfbin.exe --version printed '$cutter_version', not 'asfbin.exe $version'"
for flag in -h --help; do
    usage=$("${no_display[@]}" "$editor" "$flag" 2>&1)
    status=$?
    if [ "$status" -ne 0 ] || [[ "$usage" != Usage:\ kestrine* ]]; then
        fail "kestrine $flag: status $status, printed '$usage'"
    fi
done
pass "programs and versions"

# --- Desktop entry --------------------------------------------------------------------------
desktop=$prefix/share/applications/kestrine.desktop
if [ ! -f "$desktop" ]; then
    fail "no desktop entry at $desktop"
else
    if command -v desktop-file-validate >/dev/null; then
        report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $report"
        [ -z "$report" ] || fail "desktop-file-validate has remarks: $report"
    fi
    key() { sed -n "s/^$1=//p" "$desktop"; }
    exec_line=$(key Exec)
    exec_program=${exec_line%% *}
    # The launcher finds the program on PATH; the installed bin/ must hold the very program named.
    [ -x "$prefix/bin/$exec_program" ] || fail "Exec names '$exec_program', which is not in the installed bin/"
    # The editor opens one source named on its command line, so the entry passes a single file.
    [[ "$exec_line" == *" %f" ]] || fail "Exec '$exec_line' does not pass the chosen file"
    mimes=$(key MimeType)
    for type in video/x-ms-asf video/x-ms-wmv audio/x-ms-wma video/x-ms-asf-plugin application/vnd.ms-asf; do
        [[ ";$mimes" == *";$type;"* ]] || fail "MimeType lacks $type"
    done
    for category in AudioVideo Video AudioVideoEditing; do
        [[ ";$(key Categories)" == *";$category;"* ]] || fail "Categories lacks $category"
    done
    [ "$(key Icon)" = kestrine ] || fail "Icon is '$(key Icon)', not kestrine"
fi
pass "desktop entry"

# --- Icons ----------------------------------------------------------------------------------
icons=$prefix/share/icons/hicolor
svg=$icons/scalable/apps/kestrine.svg
if [ ! -s "$svg" ]; then
    fail "no scalable icon at $svg"
elif command -v python3 >/dev/null; then
    python3 -c 'import sys, xml.etree.ElementTree as E; r = E.parse(sys.argv[1]).getroot(); sys.exit(r.tag != "{http://www.w3.org/2000/svg}svg")' "$svg" \
        || fail "$svg is not an SVG document"
fi
# Bitmaps are made only where a converter was found; those that are there must be the size their folder says.
for size in 48 256; do
    png=$icons/${size}x${size}/apps/kestrine.png
    [ -e "$png" ] || continue
    dims=$(python3 -c 'import struct, sys
d = open(sys.argv[1], "rb").read(24)
print("%dx%d" % struct.unpack(">II", d[16:24]) if d[:8] == b"\x89PNG\r\n\x1a\n" else "not-a-png")' "$png")
    [ "$dims" = "${size}x${size}" ] || fail "$png is $dims"
done
pass "icons"

# --- Manual pages ---------------------------------------------------------------------------
for page in kestrine asfbin.exe; do
    gz=$prefix/share/man/man1/$page.1.gz
    if [ ! -f "$gz" ]; then
        fail "no manual page $gz"
        continue
    fi
    gzip -t "$gz" 2>/dev/null || fail "$gz is not a gzip file"
    if command -v man >/dev/null; then
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$gz" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "man --warnings on $page: $warnings"
        text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$gz" 2>/dev/null)
        for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" "SEE ALSO"; do
            grep -q "^$section" <<<"$text" || fail "$page(1) has no $section section"
        done
        grep -q "Kestrine $version" <<<"$text" || fail "$page(1) does not carry the version $version"
    fi
    zcat "$gz" | grep -q '@[A-Z_]*@' && fail "$page(1) still holds an unfilled @...@ placeholder"
done
# The cutter's page documents every switch the cutter's own usage lists.
if [ -f "$prefix/share/man/man1/asfbin.exe.1.gz" ]; then
    switches=$("$cutter" -h | sed -n 's/^  \(-[a-z-]*\).*/\1/p')
    [ "$(wc -w <<<"$switches")" -ge 9 ] || fail "asfbin.exe -h lists too few switches: $switches"
    for switch in $switches; do
        zcat "$prefix/share/man/man1/asfbin.exe.1.gz" | grep -q "^\.B[IR]* *${switch//-/\\\\-}\b" \
            || fail "asfbin.exe(1) does not describe $switch"
    done
fi
pass "manual pages"

# --- Package documentation ------------------------------------------------------------------
changelog=$prefix/share/doc/kestrine/changelog.gz
if [ ! -f "$changelog" ]; then
    fail "no changelog at $changelog"
else
    head_line=$(zcat "$changelog" | head -n 1)
    [[ "$head_line" == "kestrine ($version) "* ]] || fail "the changelog begins '$head_line', not with kestrine ($version)"
fi
pass "package documentation"

# --- The installed cutter on real media -----------------------------------------------------
if command -v ffmpeg >/dev/null; then
    media=$scratch/clip.wmv
    ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=160x120:rate=25:duration=3" \
        -c:v wmv2 -g 25 -f asf "$media" || fail "ffmpeg could not make the test clip"
    report=$("$cutter" -i "$media" -infokf)
    [ $? -eq 0 ] || fail "installed asfbin.exe -infokf failed: $report"
    keyframes=$(tail -n +15 <<<"$report" | grep -c '  X')
    [ "$keyframes" -eq 3 ] || fail "installed asfbin.exe listed $keyframes keyframes in a 3 s clip with one a second"
    pass "installed cutter"
fi

# --- The installed editor finds its cutter ---------------------------------------------------
# Under a virtual X server the windows can be listed by title: the editor's own "KESTRINE " window
# when the cutter is beside it, the "Warning!" window when it is not (shown by a copy kept alone).
window_titles() {  # program: starts it, lists the top-level titles after it settled, ends it
    # A display number of its own, so parallel tests starting X servers do not race for the same one.
    xvfb-run -a -n $((200 + RANDOM % 600)) sh -c '
        "$1" >/dev/null 2>&1 &
        pid=$!
        for i in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20; do
            sleep 0.25
            xwininfo -root -tree 2>/dev/null | grep -q "\"\(KESTRINE \|Warning!\)\"" && break
        done
        sleep 0.25
        xwininfo -root -tree 2>/dev/null | sed -n "s/^ *0x[0-9a-f]* \"\([^\"]*\)\".*/\1/p"
        # A termination signal must end the editor whatever window is up.
        kill "$pid" 2>/dev/null
        for i in 1 2 3 4 5 6 7 8 9 10 11 12; do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.25
        done
        if kill -0 "$pid" 2>/dev/null; then
            echo "(still running after SIGTERM)"
            kill -KILL "$pid"
        fi
        wait "$pid" 2>/dev/null
        exit 0' sh "$1"
}
if command -v xvfb-run >/dev/null && command -v xwininfo >/dev/null; then
    titles=$(window_titles "$editor")
    grep -qx 'KESTRINE ' <<<"$titles" || fail "the installed editor showed no main window (titles: $titles)"
    grep -qx 'Warning!' <<<"$titles" && fail "the installed editor did not find asfbin.exe beside it"
    grep -qx '(still running after SIGTERM)' <<<"$titles" && fail "the editor did not end on SIGTERM"
    alone=$scratch/alone
    mkdir -p "$alone"
    cp "$editor" "$alone/kestrine"
    titles=$(window_titles "$alone/kestrine")
    grep -qx 'Warning!' <<<"$titles" || fail "an editor without its cutter gave no warning (titles: $titles)"
    grep -qx '(still running after SIGTERM)' <<<"$titles" && fail "the editor did not end on SIGTERM while its warning was up"
    pass "installed editor and its cutter"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "install tree: all checks passed"
