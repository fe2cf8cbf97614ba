#!/usr/bin/env bash
# Mutation testing of the host tests: a fixed, seeded set of small faults (flipped comparisons,
# constants off by one, dropped or swapped statements, negated conditions, && for ||) is put
# into the call logic, the sound level meter, the settings file code and the start-up code,
# one at a time; each is built incrementally and run against the host test programs, and the
# share the tests catch is printed with the list of those they miss. A measurement, not a
# gate: it exits 0 whatever the share, and 2 when the unmutated tests do not pass (or the build
# cannot be made, or an argument is wrong).
#
# Usage: scripts/mutation.sh [--list] [--only N[,N...]] [--seed N] [--count N]
#                            [--timeout SECS] [--jobs N]
#   --list          print the mutants without building anything
#   --only LIST     run these mutants only, by the numbers --list prints
#   --seed N        the seed that picks them (default 12); --count N how many (default 70)
#   --timeout SECS  limit of one test program on one mutant (default 10x its normal run,
#                   at least 20 s); a program still running then counts as a kill
#   --jobs N        parallel build jobs
#
# The tree it is run from is only read: the work happens in build/mutation/ (a copy of the
# tree with its own host build; the first run builds it, 3 to 6 minutes on 2 cores). The
# default set takes about 9 minutes after that. See docs/ARCHITECTURE.md, "Mutation score".
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
if [[ "${1:-}" == -h || "${1:-}" == --help ]]; then
  sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"
  exit 0
fi
for tool in python3 git cmake ninja ctest; do
  if ! command -v "${tool}" >/dev/null; then
    echo "mutation.sh: ${tool} is missing (scripts/bootstrap.sh installs it)" >&2
    exit 2
  fi
done
exec python3 -B "${here}/mutation.py" "$@"
