#!/usr/bin/env bash
# talvo.exe under wine, black box: the same runs on the Linux talvo and on
# talvo.exe (host paths typed the Windows way, with backslashes) must give the
# same status, the same messages and the same bytes; what they write is also
# read back with the independent readers (isoinfo in both trees, Pillow, the
# reference LZSS decoder).
#   wine_test.sh SOURCE_DIR LINUX_BUILD WINDOWS_BUILD
set -uo pipefail
src=$1
linux=$2
win=$3
# The Python 3 (with pycdlib and Pillow) the Linux build's tests use.
py=$(sed -n 's/^Python3_EXECUTABLE:[A-Z]*=//p' "$linux/CMakeCache.txt")
export WINEPREFIX=$win/wine-prefix WINEDEBUG=-all
# Wine makes its prefix on the first start (some seconds); once per build folder.
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1

work=$win/scratch/作業
rm -rf "$work"
mkdir -p "$work/l" "$work/w"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Runs one operation with both programs, each in its own folder (l/ and w/).
# Words starting with @ are host paths: as they are on Linux, with
# backslashes for talvo.exe. Status, stdout and stderr must match (line ends
# and separators aside); expected is the status both must give.
both() {
  local expected=$1 w
  shift
  local lw=() ww=()
  for w in "$@"; do
    case $w in
      @*) lw+=("${w#@}"); w=${w#@}; ww+=("${w//\//\\}") ;;
      *) lw+=("$w"); ww+=("$w") ;;
    esac
  done
  (cd "$work/l" && "$linux/talvo" "${lw[@]}" >../l.out 2>../l.err)
  local lrc=$?
  (cd "$work/w" && wine "$win/talvo.exe" "${ww[@]}" >../w.raw 2>../w.rawerr)
  local wrc=$?
  tr -d '\r' <"$work/w.raw" | sed 's,\\,/,g' >"$work/w.out"
  tr -d '\r' <"$work/w.rawerr" | sed 's,\\,/,g' >"$work/w.err"
  [ "$lrc" = "$expected" ] || fail "$* (Linux): status $lrc, not $expected: $(head -c 300 "$work/l.err")"
  [ "$wrc" = "$lrc" ] || fail "$* (wine): status $wrc, Linux $lrc: $(head -c 300 "$work/w.err")"
  cmp -s "$work/l.out" "$work/w.out" || fail "$*: stdout differs: $(diff "$work/l.out" "$work/w.out" | head -5)"
  cmp -s "$work/l.err" "$work/w.err" || fail "$*: stderr differs: $(diff "$work/l.err" "$work/w.err" | head -5)"
}
# The named files of l/ and w/ are byte for byte the same.
same() {
  local f
  for f in "$@"; do cmp -s "$work/l/$f" "$work/w/$f" || fail "$f differs between Linux and wine"; done
}
# Puts a file into both folders.
give() {
  mkdir -p "$(dirname "$work/l/$2")" "$(dirname "$work/w/$2")"
  cp "$1" "$work/l/$2" && cp "$1" "$work/w/$2"
}

start=$(date +%s)
"$linux/talvo_sample" images "$work/sample" >/dev/null || fail "talvo_sample images"
"$linux/talvo_sample" translate "$work/tr" >/dev/null || fail "talvo_sample translate"
give "$work/sample/images.iso" images.iso

both 0 --version
grep -qx "talvo [0-9.]*" "$work/w.out" || fail "--version: $(cat "$work/w.out")"

# The whole disc's pictures into a folder tree.
both 0 extract_all_images images.iso @all
diff -r "$work/l/all" "$work/w/all" >/dev/null || fail "extract_all_images: the trees differ"
[ -f "$work/w/all/CG/LZSS/SUNSET.BMP" ] || fail "extract_all_images: no CG/LZSS/SUNSET.BMP"

# Every image kind out and back in; the inserted pictures are edited with
# Pillow first, so that the insert has something to change (but for the
# 16-colour one, which Pillow cannot write).
kinds=(
  "dc /CG/SUNSET.DC2" "pp /CG/BADGE.PP2" "lzss_dc /CG/LZSS/SUNSET.DGP"
  "lzss_pp /CG/LZSS/BADGE.PPZ" "lzss_pp4 /CG/LZSS/CHECKER.PP4"
)
for k in "${kinds[@]}"; do
  set -- $k
  mkdir -p "$work/l/out" "$work/w/out"
  both 0 "extract_$1" images.iso "$2" "@out/$1.bmp"
  same "out/$1.bmp"
  if [ "$1" = lzss_pp4 ]; then
    give "$work/l/out/$1.bmp" "in/$1.bmp"
    both 0 "insert_$1" images.iso "$2" "@in/$1.bmp"
    continue
  fi
  "$py" - "$work/l/out/$1.bmp" "$work/$1_edited.bmp" <<'PY' || fail "Pillow cannot edit $1.bmp"
import sys
from PIL import Image
im = Image.open(sys.argv[1])
im.load()
for x in range(4, 20):
    for y in range(4, 12):
        im.putpixel((x, y), (248, 240, 200) if im.mode == "RGB" else 1)
im.save(sys.argv[2], "BMP")
PY
  give "$work/$1_edited.bmp" "in/$1.bmp"
  both 0 "insert_$1" images.iso "$2" "@in/$1.bmp"
done
for m in "mato /CG/PARTS.TEX" "lzss_mato /CG/LZSS/PARTS.TXZ"; do
  set -- $m
  mkdir -p "$work/l/$1" "$work/w/$1"
  both 0 "extract_$1" images.iso "$2" "@$1/part"
  same $(cd "$work/l" && ls "$1"/*)
  both 0 "insert_$1" images.iso "$2" "@$1/part"
done
same images.iso
# What the inserts put in: read back through isoinfo and the Linux talvo.
isoinfo -i "$work/w/images.iso" -x '/CG/SUNSET.DC2;1' >"$work/dc.isoinfo" &&
  [ -s "$work/dc.isoinfo" ] || fail "isoinfo cannot read the inserted DC"
"$linux/talvo" extract_lzss_dc "$work/w/images.iso" /CG/LZSS/SUNSET.DGP "$work/again.bmp" >/dev/null
"$py" - "$work/lzss_dc_edited.bmp" "$work/again.bmp" <<'PY' || fail "the edited LZSS DC picture did not come back"
import sys
from PIL import Image, ImageChops
a, b = (Image.open(p).convert("RGB") for p in sys.argv[1:])
sys.exit(0 if ImageChops.difference(a, b).getbbox() is None else 1)
PY

# LZSS round trip, checked with the reference decoder.
mkdir -p "$work/l/raw" "$work/w/raw"
both 0 uncompress_lzss images.iso /CG/LZSS/SUNSET.DGP @raw/sunset.bin
same raw/sunset.bin
head -c 30000 /dev/urandom >"$work/random.bin"
cat "$work/l/raw/sunset.bin" "$work/random.bin" >"$work/grown.bin"
give "$work/grown.bin" raw/grown.bin
both 0 compress_lzss images.iso /CG/LZSS/SUNSET.DGP @raw/grown.bin
same images.iso
mkdir -p "$work/decoded"
isoinfo -i "$work/w/images.iso" -x '/CG/LZSS/SUNSET.DGP;1' >"$work/decoded/sunset.lzs"
"$py" "$src/tests/images/lzss_decode.py" "$work/decoded" >/dev/null &&
  cmp -s "$work/decoded/sunset.out" "$work/grown.bin" || fail "compress_lzss: the reference decoder disagrees"

# replace_file that grows the README past its sector: both trees, read
# through both descriptors.
for i in $(seq 1 80); do printf 'Line %02d of a README that no longer fits its sector.\r\n' "$i"; done >"$work/readme.txt"
give "$work/readme.txt" "new files/readme.txt"
both 0 replace_file images.iso /README.TXT "@new files/readme.txt"
same images.iso
isoinfo -i "$work/w/images.iso" -x '/README.TXT;1' | cmp -s - "$work/readme.txt" ||
  fail "replace_file: the ISO 9660 tree does not read back the new README"
isoinfo -i "$work/w/images.iso" -J -x '/README.TXT' | cmp -s - "$work/readme.txt" ||
  fail "replace_file: the Joliet tree does not read back the new README"

# A refusal leaves the image byte for byte as it was: a PP picture is not a DC.
cp "$work/w/images.iso" "$work/before.iso"
both 1 insert_dc images.iso /CG/SUNSET.DC2 @in/pp.bmp
cmp -s "$work/w/images.iso" "$work/before.iso" || fail "a refused insert changed the image"

# check_ini and completion on INI files in a folder with a Japanese name.
give "$work/tr/english.ini" "翻訳/english.ini"
give "$work/tr/japanese.ini" "翻訳/japanese.ini"
both 1 check_ini "@翻訳/english.ini"
# The built-in catalogue refuses the sample's few lines: the same way.
both 1 completion "@翻訳/english.ini" "@翻訳/japanese.ini"

# The journal's roll-back: a Linux run killed in the middle of a
# replace_file (its local file a pipe that stalls) leaves image and journal;
# the next writing run of talvo.exe rolls it back before its own refusal.
cp "$work/sample/images.iso" "$work/killed.iso"
mkfifo "$work/stall"
( head -c 600000 /dev/urandom; exec sleep 20 ) >"$work/stall" &
feeder=$!
"$linux/talvo" replace_file "$work/killed.iso" /README.TXT "$work/stall" >/dev/null 2>&1 &
victim=$!
for _ in $(seq 1 200); do [ -e "$work/killed.iso-journal" ] && break; sleep 0.05; done
sleep 0.2
{
  kill -9 "$victim"
  wait "$victim"
} 2>/dev/null
kill "$feeder" 2>/dev/null
if [ -e "$work/killed.iso-journal" ] && ! cmp -s "$work/killed.iso" "$work/sample/images.iso"; then
  give "$work/killed.iso" killed.iso
  give "$work/killed.iso-journal" killed.iso-journal
  both 1 replace_file killed.iso /NO_SUCH.TXT @readme.txt
  grep -q "rolled back" "$work/w.out" || fail "talvo.exe did not roll the journal back"
  cmp -s "$work/w/killed.iso" "$work/sample/images.iso" || fail "the roll-back did not restore the image"
  [ ! -e "$work/w/killed.iso-journal" ] || fail "the journal is still there after the roll-back"
else
  fail "could not leave a journal behind with a killed Linux run"
fi

echo "wine black-box set: $(($(date +%s) - start)) s, $failures failure(s)"
[ "$failures" -eq 0 ]
