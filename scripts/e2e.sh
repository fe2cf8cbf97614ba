#!/usr/bin/env bash
# Runs the programs end to end under a contained Wine: the real Tavoro.exe and Ondawn.exe of
# each Windows build, with the stand-ins of sim/, driven and checked by the build's checkers
# (BUILD_DIR/e2e/*_e2e.exe, GoogleTest programs from tests/e2e). The builds share one prefix,
# one display and one sound server; each check sets up what it needs itself. The checkers find
# the programs through TAVORO_E2E_BIN (the folder of Tavoro.exe and Ondawn.exe) and
# TAVORO_E2E_SIM (the stand-ins' folder). For the SIP calls (sip_calls_e2e) it also starts
# Debian's native baresip as the remote user and Kamailio as the account's service on 127.0.0.1, on fixed
# ports (wine_sip_peer_ready in wine-env.sh), unless TAVORO_SIP_PEER_CONSOLE names a peer.
#
# Usage: scripts/e2e.sh [--timeout SECS] [--only NAME] BUILD_DIR...  e.g. build/win32 build/win64
#   --only NAME   only that checker (e.g. ondawn_e2e)
#
# Results go to BUILD_DIR/results/<checker>.xml (and .log), beside the build's other results;
# a checker that is missing, crashes, hangs or writes no XML gets a result with one failure,
# so the totals show it. Exits 0 when every checker ran and passed.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source-path=SCRIPTDIR source=wine-env.sh
source "${here}/wine-env.sh"
timeout_s=600
only=""
checkers=(ondawn_e2e tavoro_e2e calls_e2e sip_calls_e2e)

usage() { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit "${1:-2}"; }
while (($#)); do
  case "$1" in
    --timeout) timeout_s="${2:?}"; shift 2 ;;
    --only) only="${2:?}"; shift 2 ;;
    -h | --help) usage 0 ;;
    -*) echo "e2e: unknown option $1" >&2; usage >&2 ;;
    *) break ;;
  esac
done
(($#)) || usage >&2

builds=()
for build in "$@"; do
  builds+=("$(realpath -e "${build}")") || { echo "e2e: no such folder: ${build}" >&2; exit 2; }
done


# check BUILD CHECKER: one checker run; prints its failures and summary; non-zero if anything
# failed.
check() {
  local build="$1" checker_name="$2" name
  local xml="$1/results/$2.xml" log="$1/results/$2.log"
  local checker="$1/e2e/$2.exe"
  name="$2 ($(basename "${build}"))"
  echo "=== ${checker}"
  if [[ ! -f "${checker}" ]]; then
    mkdir -p "${build}/results"
    rm -f "${xml}" "${xml%.xml}-exit.xml"
    wine_record_problem e2e "${xml}" "${name}" "the checker ${checker_name} is not built"
    return 1
  fi
  TAVORO_E2E_BIN="$(wine_windows_path "${build}/src/main")" \
    TAVORO_E2E_SIM="$(wine_windows_path "${build}/sim")" \
    wine_run_gtest e2e "${xml}" "${log}" "${timeout_s}" "${WINE_ENV_RUN}" "${checker}"
}

all_started="${EPOCHREALTIME}"
wine_env_up
# The SIP calls need the remote SIP user and the service; they bind fixed ports, so only when
# those checks run, and unless the caller points them at a peer of its own. Ended with the rest.
if [[ -z "${only}" || "${only}" == sip_calls_e2e ]] && [[ -z "${TAVORO_SIP_PEER_CONSOLE:-}" ]]; then
  wine_sip_peer_ready
fi

failures=0 runs=0
for build in "${builds[@]}"; do
  for checker in "${checkers[@]}"; do
    [[ -z "${only}" || "${only}" == "${checker}" ]] || continue
    runs=$((runs + 1))
    check "${build}" "${checker}" || failures=$((failures + 1))
  done
done
echo "e2e: ${runs} checker runs, ${failures} failed, $(wine_since "${all_started}") s in all"
((failures == 0))
