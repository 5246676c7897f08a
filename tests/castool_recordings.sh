#!/usr/bin/env bash
# Recordings written by another encoder of this family's tapes: MAME's
# castool turns a tape (a .cas holds the bytes a .k7 holds) into a WAV of
# its own (a CoCo's cycles of 1,200 and 2,400 Hz, its own pauses and
# leaders, at 96 kHz). morlevix decode must read every file whole, status 0,
# and give back the very blocks of the tape.
set -euo pipefail
export LC_ALL=C  # the program speaks French there, whatever this machine's locale
program=$1
example=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

printf '10 CLS\r\n20 FOR I=1 TO 100:PRINT "MORLEVIX";I:NEXT\r\n30 GOTO 20\r\n' > JEU.bas
head -c 1500 /dev/urandom > CODE.bin
"$program" make -o TAPE.k7 JEU.bas --load 4000 CODE.bin > /dev/null
"$program" make --mc10 -o MC10.k7 JEU.bas > /dev/null
cp "$example" DEMO.k7

failed=0
for tape in TAPE MC10 DEMO; do
  cp "$tape.k7" "$tape.cas"
  castool convert coco "$tape.cas" "$tape.wav" > /dev/null
  # The blocks of the tape as decode writes them, read from our own WAV.
  "$program" convert -o "$tape-OURS.wav" "$tape.k7" > /dev/null
  "$program" decode -o "$tape-OURS.k7" "$tape-OURS.wav" > /dev/null
  if "$program" decode -o "$tape-BACK.k7" "$tape.wav" > /dev/null 2> "$tape.err" && cmp -s "$tape-BACK.k7" "$tape-OURS.k7"; then
    echo "ok: $tape"
  else
    echo "FAILED: $tape"; cat "$tape.err"; failed=1
  fi
done
exit $failed
