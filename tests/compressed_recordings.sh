#!/usr/bin/env bash
# Recordings as people keep them: our own WAV of a tape made into FLAC,
# Ogg Vorbis, MP3 at 128 and 64 kbit/s, Opus and AIFF by sox and opusenc.
# Each read straight by morlevix (decode, list, basic, extract) must give
# what our WAV gives, with status 0; a text named .mp3 and a FLAC cut short
# end with status 1 and say why. A build without libsndfile refuses each
# of them instead, naming its format and what to do.
# Usage: compressed_recordings.sh PROGRAM READS_COMPRESSED (1 or 0)
set -euo pipefail
export LC_ALL=C  # the program speaks French there, whatever this machine's locale
program=$1
reads_compressed=$2
skip=77  # CTest's mark for a test that could not run here
if ! command -v sox > /dev/null; then echo "skipped: sox is not installed (it makes the recordings)"; exit $skip; fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

printf '10 CLS\r\n20 FOR I=1 TO 100:PRINT "MORLEVIX";I:NEXT\r\n30 GOTO 20\r\n' > JEU.bas
head -c 1500 /dev/urandom > CODE.bin
"$program" make -o TAPE.k7 JEU.bas --load 4000 CODE.bin > /dev/null
"$program" convert TAPE.k7 > /dev/null
"$program" decode -o REFERENCE.k7 TAPE.wav > /dev/null
"$program" basic TAPE.wav > REFERENCE.bas
"$program" extract -o REFERENCE.bin TAPE.wav CODE > /dev/null

failed=0
fail() { echo "FAILED: $*"; failed=1; }
made=()
make_with() {  # file, then the command that writes it; a tool missing is said
  local file=$1 tool=$2
  shift
  if ! command -v "$tool" > /dev/null; then echo "skipped: $file ($tool is not installed)"; return; fi
  if "$@" 2> /dev/null; then made+=("$file"); else echo "skipped: $file ($tool cannot write it here)"; fi
}
make_with TAPE.flac sox TAPE.wav TAPE.flac
make_with TAPE.ogg sox TAPE.wav -C 5 TAPE.ogg
make_with TAPE-128k.mp3 sox TAPE.wav -C 128 TAPE-128k.mp3
make_with TAPE-64k.mp3 sox TAPE.wav -C 64 TAPE-64k.mp3
make_with TAPE.opus opusenc --quiet TAPE.wav TAPE.opus
make_with TAPE.aiff sox TAPE.wav TAPE.aiff

expect_refusal() {  # file, words the refusal must hold
  local status=0
  "$program" decode -o out.k7 "$1" > /dev/null 2> err.txt || status=$?
  if [ "$status" -ne 1 ] || ! grep -qF "$2" err.txt; then fail "$1: status $status, $(cat err.txt)"; else echo "ok: $1 refused"; fi
}

for file in "${made[@]}"; do
  if [ "$reads_compressed" != 1 ]; then
    expect_refusal "$file" "format que cette version de morlevix ne lit pas ; convertir en WAV, par exemple avec sox IN."
    continue
  fi
  if ! "$program" decode -o "$file.k7" "$file" > /dev/null 2> err.txt; then fail "$file: decode: $(cat err.txt)"; continue; fi
  cmp -s "$file.k7" REFERENCE.k7 || fail "$file: another image than the WAV's"
  "$program" list "$file" > /dev/null 2> err.txt || fail "$file: list: $(cat err.txt)"
  "$program" basic "$file" > "$file.bas" 2> err.txt && cmp -s "$file.bas" REFERENCE.bas || fail "$file: basic: $(cat err.txt)"
  "$program" extract -o "$file.bin" "$file" CODE > /dev/null 2> err.txt && cmp -s "$file.bin" REFERENCE.bin ||
    fail "$file: extract: $(cat err.txt)"
  # From standard input, as a pipe gives it.
  "$program" decode -o "$file-piped.k7" - < <(cat "$file") > /dev/null 2> err.txt && cmp -s "$file-piped.k7" REFERENCE.k7 ||
    fail "$file: from standard input: $(cat err.txt)"
  echo "ok: $file"
done
# A WAV piped in is read as it comes (a capture of the sound card, say).
sox TAPE.wav -t wav - 2> /dev/null | "$program" decode -o PIPED.k7 - > /dev/null 2> err.txt && cmp -s PIPED.k7 REFERENCE.k7 ||
  fail "a WAV piped in: $(cat err.txt)"

# A text under a recording's name: refused by its contents.
echo "bonjour, ceci n'est pas une cassette" > TEXTE.mp3
expect_refusal TEXTE.mp3 "TEXTE.mp3 : pas un fichier WAV, ni un enregistrement d'un autre format connu"
# A phone's AAC: no library of the kind reads it; the page, or ffmpeg.
printf '\0\0\0\040ftypM4A \0\0\0\0M4A mp42isom\0\0\0\0' > PHONE.m4a
expect_refusal PHONE.m4a "PHONE.m4a : AAC (M4A) : format que morlevix ne lit pas ; ouvrir le fichier dans la page de morlevix"
expect_refusal PHONE.m4a "ffmpeg -i IN.m4a OUT.wav"
# A FLAC cut short: what was heard is kept, and the cut is said.
if [ "$reads_compressed" = 1 ] && [ -f TAPE.flac ]; then
  head -c $(( $(stat -c %s TAPE.flac) * 2 / 3 )) TAPE.flac > CUT.flac
  expect_refusal CUT.flac "CUT.flac : fichier coupe : ses echantillons s'arretent a "
  LC_ALL=en_US.UTF-8 "$program" decode -o out.k7 CUT.flac > /dev/null 2> err.txt || true
  grep -qF "CUT.flac: file cut short: its samples stop at " err.txt || fail "CUT.flac in English: $(cat err.txt)"
fi
exit $failed
