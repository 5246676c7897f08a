#!/usr/bin/env bash
# A manual page renders without a single warning from groff, names the
# version the program prints, and shows every command and option of
# "morlevix --help" in the page's language (en or fr).
# Usage: manual_page.sh PROGRAM PAGE LANGUAGE
set -euo pipefail
program=$1
page=$2
language=$3
if [ "$language" = en ]; then
  export LC_ALL=en_US.UTF-8 commands_heading="Commands:" options_heading="Options:"
  sections=(NAME SYNOPSIS DESCRIPTION COMMANDS OPTIONS ENVIRONMENT "EXIT STATUS" EXAMPLES FILES)
else
  export LC_ALL=C commands_heading="Commandes :" options_heading="Options :"
  sections=(NOM SYNOPSIS DESCRIPTION COMMANDES OPTIONS ENVIRONNEMENT "ETAT DE SORTIE" EXEMPLES FICHIERS)
fi

warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
if [ -n "$warnings" ]; then echo "groff warns on $page:"; echo "$warnings"; exit 1; fi
# Plain text, with the minus and hyphen signs of UTF-8 as the ASCII ones typed.
text=$(groff -man -Tutf8 -P-cbou "$page" | sed -e 's/\xe2\x88\x92/-/g' -e 's/\xe2\x80\x90/-/g')

# grep reads from a here-string: with -q it stops at the first match, and
# echo writing into the closed pipe would fail the line under pipefail.
failed=0
missing() { echo "not in the manual page: $1"; failed=1; }

help=$("$program" --help)
commands=$(echo "$help" | awk -v h="$commands_heading" '$0 == h {on = 1; next} /^$/ {on = 0} on && /^  [a-z]/ {print $1}')
options=$(echo "$help" | awk -v h="$options_heading" '$0 == h {on = 1; next} /^$/ {on = 0} on' |
  grep -oE '(^|[ ,])--?[a-z0-9]+' | tr -d ' ,' | sort -u)
[ -n "$commands" ] && [ -n "$options" ] || { echo "no command or option read from --help"; exit 1; }
for command in $commands; do
  grep -qE "^ +$command( |$)" <<< "$text" || missing "command $command"
done
for option in $options; do
  grep -qF -- "$option" <<< "$text" || missing "option $option"
done
version=$("$program" --version)
grep -qF -- "$version" <<< "$text" || missing "version line $version"
for section in "${sections[@]}"; do
  grep -qx "$section" <<< "$text" || missing "section $section"
done
exit $failed
