#!/usr/bin/env bash
# Recordings written by another program: sox turns our WAV of a two-file
# tape into the formats and rates that recorders and phones write, and
# morlevix decode must give back the very image it gives for our own WAV.
set -euo pipefail
export LC_ALL=C  # the program speaks French there, whatever this machine's locale
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

printf '10 CLS\r\n20 FOR I=1 TO 100:PRINT "MORLEVIX";I:NEXT\r\n30 GOTO 20\r\n' > JEU.bas
head -c 1500 /dev/urandom > CODE.bin
with_reference() {  # tape: its WAV, and the image our own WAV decodes to
  "$program" convert "$1.k7" > /dev/null
  "$program" decode -o "$1-REFERENCE.k7" "$1.wav" > /dev/null
}
"$program" make -o TAPE.k7 JEU.bas --load 4000 CODE.bin > /dev/null
with_reference TAPE

failed=0
judge() {  # name, reference image: its WAV must decode to the very image of our own
  local name=$1 reference=${2:-TAPE-REFERENCE.k7}
  if "$program" decode -o "$name.k7" "$name.wav" > /dev/null 2> "$name.err" && cmp -s "$name.k7" "$reference"; then
    echo "ok: $name"
  else
    echo "FAILED: $name"; cat "$name.err"; failed=1
  fi
}
check() {  # name, then sox's output options
  local name=$1
  shift
  sox TAPE.wav "$@" "$name.wav" 2> /dev/null
  judge "$name"
}
check mu-law -e u-law
check a-law -e a-law
check ima-adpcm -e ima-adpcm
check ms-adpcm -e ms-adpcm
check mu-law-8k-stereo -r 8000 -c 2 -e u-law
check a-law-8k -r 8000 -e a-law
check ima-adpcm-8k-stereo -r 8000 -c 2 -e ima-adpcm
check ms-adpcm-8k -r 8000 -e ms-adpcm
check rate-6000 -r 6000 -e signed -b 16
check rate-5500 -r 5500 -e signed -b 16
check float-96k -r 96000 -e floating-point -b 32

# A phone held to a loudspeaker in a room: sox's own reverberation, on a
# band of 200-5,000 Hz, the level low enough not to clip. The tape is the
# same at every run (its program and a file of zeros, whose blocks of long
# cycles the echoes of their length byte hit hardest), and so is sox's
# dither (-R): through such echoes random bytes still lose a block now and
# then, and a test must say the same every time.
head -c 1000 /dev/zero > ZERO.bin
"$program" make -o ROOM.k7 JEU.bas --load 5000 ZERO.bin > /dev/null
with_reference ROOM
room() {  # name, then sox's effects
  local name=$1
  shift
  sox -R ROOM.wav -e signed -b 16 "$name.wav" "$@" 2> /dev/null
  judge "$name" ROOM-REFERENCE.k7
}
room reverb-50 vol 0.25 sinc 200-5000 reverb 50
room small-room-reverb-50 vol 0.25 sinc 200-5000 reverb 50 50 30

# Lossy codecs, as sox decodes them back to WAV: MP3 at 64 and 48 kbit/s
# and Ogg Vorbis at quality 0, where this sox has them.
through() {  # name, extension, then sox's options for the compressed file
  local name=$1 extension=$2
  shift 2
  if sox TAPE.wav "$@" "$name.$extension" 2> /dev/null; then
    sox "$name.$extension" -e signed -b 16 "$name.wav" 2> /dev/null
    judge "$name"
  else
    echo "skipped: $name (this sox cannot write .$extension)"
  fi
}
through mp3-64k mp3 -C 64
through mp3-48k mp3 -C 48
through vorbis-q0 ogg -C 0
exit $failed
