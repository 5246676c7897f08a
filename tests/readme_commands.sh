#!/usr/bin/env bash
# The README's two commands, the one that builds and runs the program on
# the bundled example and the one that builds and runs every test, are
# there word for word, and CI runs the second as it stands.
set -euo pipefail
readme=$1
ci=$2
example='    cmake -S . -B build && cmake --build build --parallel && (cd examples && ../build/morlevix)'
tests='    cmake -S . -B build && cmake --build build --parallel && ctest --test-dir build --output-on-failure'
failed=0
grep -qxF -- "$example" "$readme" || { echo "the README lacks its example command"; failed=1; }
grep -qxF -- "$tests" "$readme" || { echo "the README lacks its test command"; failed=1; }
grep -qxF -- "${tests#    }" "$ci" || { echo ".ci/run does not run the README's test command"; failed=1; }
exit $failed
