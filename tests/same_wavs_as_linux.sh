#!/usr/bin/env bash
# Converts the same tape images with the Linux program and the Windows one
# (under Wine) and compares every WAV byte for byte; decodes the same
# degraded recordings with both (compressed formats among them) and
# compares every image, and the image merged from three of them; makes the same
# tape from a listing and a binary with both, and lists its program back.
#   same_wavs_as_linux.sh LINUX_BUILD_DIR WINDOWS_PROGRAM
set -euo pipefail
export LC_ALL=C  # the program speaks French there, whatever this machine's locale
linux_build=$1
windows_program=$2
for tool in morlevix make_seed_corpus tests/make_test_recordings; do
  [ -x "$linux_build/$tool" ] || { echo "no $tool in $linux_build: build for Linux first"; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/linux" "$work/windows"
"$linux_build/make_seed_corpus" "$work/images" > /dev/null
cp "$(dirname "$0")/../examples/DEMO.K7" "$work/images/demo"
for image in "$work/images"/*; do
  cp "$image" "$work/linux/$(basename "$image").k7"
  cp "$image" "$work/windows/$(basename "$image").k7"
done

(cd "$work/linux" && printf '*\no\n' | "$linux_build/morlevix" > /dev/null)
(cd "$work/windows" && printf '*\no\n' | wine "$windows_program" > /dev/null)

images=$(ls "$work/images" | wc -l)
same=0
for wav in "$work/linux"/*.wav; do
  cmp "$wav" "$work/windows/$(basename "$wav")"
  same=$((same + 1))
done
[ "$same" -eq "$images" ] || { echo "$same WAVs from Linux for $images images"; exit 1; }
[ "$(ls "$work/windows"/*.wav | wc -l)" -eq "$images" ] || { echo "Windows made a different number of WAVs"; exit 1; }
echo "$same WAVs identical on Linux and Windows"

mkdir "$work/recordings"
"$linux_build/tests/make_test_recordings" "$work/recordings" > /dev/null
decoded=0
for recording in "$work/recordings"/*.wav; do
  name=$(basename "$recording" .wav)
  # A take with a bad block decodes with status 1: both programs must say so alike.
  linux_status=0 windows_status=0
  "$linux_build/morlevix" decode -o "$work/linux/$name.k7" "$recording" > /dev/null 2>&1 || linux_status=$?
  (cd "$work/recordings" && wine "$windows_program" decode -o "../windows/$name.k7" "$name.wav" > /dev/null 2>&1) ||
    windows_status=$?
  [ "$linux_status" -le 1 ] && [ "$linux_status" -eq "$windows_status" ] ||
    { echo "$name.wav: status $linux_status on Linux, $windows_status on Windows"; exit 1; }
  [ -s "$work/linux/$name.k7" ] || { echo "no image decoded from $name.wav"; exit 1; }
  cmp "$work/linux/$name.k7" "$work/windows/$name.k7"
  decoded=$((decoded + 1))
done
echo "$decoded recordings decoded to identical images on Linux and Windows"
"$linux_build/morlevix" decode --merge -o "$work/linux/merged.k7" "$work/recordings"/{prise1,prise2,vieille}.wav > /dev/null
(cd "$work/recordings" && wine "$windows_program" decode --merge -o ../windows/merged.k7 prise1.wav prise2.wav vieille.wav > /dev/null)
cmp "$work/linux/merged.k7" "$work/windows/merged.k7"
echo "three takes merged into identical images on Linux and Windows"

printf '20 GOTO 10\r\n10 CLS:?"ALICE \217";SCORE\r\n' > "$work/PROG.bas"
head -c 700 "$linux_build/morlevix" > "$work/CODE.bin"
"$linux_build/morlevix" make -o "$work/linux/made.k7" "$work/PROG.bas" --load 4000 "$work/CODE.bin" > /dev/null
(cd "$work" && wine "$windows_program" make -o windows/made.k7 PROG.bas --load 4000 CODE.bin > /dev/null)
cmp "$work/linux/made.k7" "$work/windows/made.k7"
"$linux_build/morlevix" basic -o "$work/linux/prog.txt" "$work/linux/made.k7" prog
(cd "$work" && wine "$windows_program" basic -o windows/prog.txt windows/made.k7 prog)
(cd "$work" && wine "$windows_program" extract -o windows/code.bin windows/made.k7 code > /dev/null)
cmp "$work/linux/prog.txt" "$work/windows/prog.txt"
cmp "$work/CODE.bin" "$work/windows/code.bin"
echo "the same tape made, and the same program listed, on Linux and Windows"
