#!/usr/bin/env bash
# Runs the first-run tool end to end under a contained Wine: the real Ondawn.exe of each
# Windows build, with stand-ins for regsvr32 and tavoro.exe (sim/), driven and checked by the
# build's ondawn_e2e.exe (a GoogleTest program, tests/e2e). The builds share one prefix and
# one display; each check sets the Windows version and UAC value it needs itself.
#
# Usage: scripts/e2e-ondawn.sh [--timeout SECS] BUILD_DIR...    e.g. build/win32 build/win64
#
# Results go to BUILD_DIR/results/ondawn_e2e.xml (and .log), beside the build's other results;
# a checker that is missing, crashes, hangs or writes no XML gets a result with one failure,
# so the totals show it. Exits 0 when every checker ran and passed.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source-path=SCRIPTDIR source=wine-env.sh
source "${here}/wine-env.sh"
timeout_s=300

usage() { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit "${1:-2}"; }
while (($#)); do
  case "$1" in
    --timeout) timeout_s="${2:?}"; shift 2 ;;
    -h | --help) usage 0 ;;
    -*) echo "e2e-ondawn: unknown option $1" >&2; usage >&2 ;;
    *) break ;;
  esac
done
(($#)) || usage >&2

builds=()
for build in "$@"; do
  builds+=("$(realpath -e "${build}")") || { echo "e2e-ondawn: no such folder: ${build}" >&2; exit 2; }
done


# check BUILD: one checker run; prints its failures and summary; non-zero if anything failed.
check() {
  local build="$1" name
  local xml="$1/results/ondawn_e2e.xml" log="$1/results/ondawn_e2e.log"
  local checker="$1/e2e/ondawn_e2e.exe"
  name="ondawn_e2e ($(basename "${build}"))"
  echo "=== ${checker}"
  if [[ ! -f "${checker}" || ! -f "${build}/src/main/Ondawn.exe" ]]; then
    mkdir -p "${build}/results"
    rm -f "${xml}" "${xml%.xml}-exit.xml"
    wine_record_problem e2e-ondawn "${xml}" "${name}" "Ondawn.exe or its checker is not built"
    return 1
  fi
  TAVORO_E2E_ONDAWN="$(wine_windows_path "${build}/src/main/Ondawn.exe")" \
    TAVORO_E2E_SIM="$(wine_windows_path "${build}/sim")" \
    wine_run_gtest e2e-ondawn "${xml}" "${log}" "${timeout_s}" "${WINE_ENV_RUN}" "${checker}"
}

all_started="${EPOCHREALTIME}"
trap wine_env_cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

wine_env_init
wine_prefix_ready
wine_display_ready

failures=0
for build in "${builds[@]}"; do
  check "${build}" || failures=$((failures + 1))
done
echo "e2e-ondawn: ${#builds[@]} builds, ${failures} failed, $(wine_since "${all_started}") s in all"
((failures == 0))
