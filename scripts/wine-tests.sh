#!/usr/bin/env bash
# Runs Windows GoogleTest programs under a contained Wine: a fresh copy of a cached prefix, a
# private Xvfb, a private sound server with a loopback capture device, a sandboxed home, all
# removed afterwards (see scripts/wine-env.sh).
#
# Usage: scripts/wine-tests.sh [options] EXE... [-- GTEST_ARGS...]
#   --results DIR      where <name>.xml and <name>.log go (default: results/ in the CMake build
#                      folder that holds each EXE, beside the host results)
#   --version-matrix   afterwards, run the *RealWindowsVersion* tests of each EXE that has them
#                      once per Windows version Wine is told to report, with
#                      TAVORO_EXPECT_WINDOWS set; results go to <name>-<version>.xml
#   --versions "V..."  the versions for the matrix (default: "winxp vista win7 win10")
#   --keymap-matrix    afterwards, run the *KeyboardLayout* tests of each EXE that has them
#                      once more per other keyboard map of the display (the main runs have
#                      "jp", see wine-env.sh), with TAVORO_KEYMAP set; results go to
#                      <name>-keymap-<map>.xml
#   --keymaps "M..."   the maps for that matrix (default: "us")
#   --timeout SECS     limit for one program run (default 600)
#   --display :N       use this X display instead of starting Xvfb
#   --keep             keep the run folder (prefix, home, T: drive) under build/wine
#   --verbose          print every line of the tests' output, not only failures and summaries
#   GTEST_ARGS         passed to every main run, e.g. -- --gtest_filter='Registry*'
#
# Exits 0 when every program ran to the end and all its tests passed, 1 otherwise, 2 on bad
# usage. A program that crashes, hangs or writes no XML gets a result file with one failure,
# so totals summed over the XML files show it too.
#
# Examples:
#   scripts/wine-tests.sh build/win32/tests/contract_tests.exe build/win32/tests/win32_tests.exe
#   scripts/wine-tests.sh --version-matrix build/win64/tests/contract_tests.exe
#   scripts/wine-tests.sh --keymap-matrix build/win32/tests/win32_tests.exe
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source-path=SCRIPTDIR source=wine-env.sh
source "${here}/wine-env.sh"

results_dir=""
matrix=0
versions="winxp vista win7 win10"
matrix_filter='*RealWindowsVersion*'
keymap_matrix=0
keymaps="us"
keymap_filter='*KeyboardLayout*'
timeout_s=600
verbose=0
exes=()
gtest_args=()

usage() { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit "${1:-2}"; }

while (($#)); do
  case "$1" in
    --results) results_dir="${2:?}"; shift 2 ;;
    --version-matrix) matrix=1; shift ;;
    --versions) versions="${2:?}"; shift 2 ;;
    --keymap-matrix) keymap_matrix=1; shift ;;
    --keymaps) keymaps="${2:?}"; shift 2 ;;
    --timeout) timeout_s="${2:?}"; shift 2 ;;
    --display) export TAVORO_WINE_DISPLAY="${2:?}"; shift 2 ;;
    --keep) export TAVORO_WINE_KEEP=1; shift ;;
    --verbose) verbose=1; shift ;;
    -h | --help) usage 0 ;;
    --) shift; gtest_args=("$@"); break ;;
    -*) echo "wine-tests: unknown option $1" >&2; usage >&2 ;;
    *) exes+=("$1"); shift ;;
  esac
done
((${#exes[@]})) || usage >&2

# The results of a program go beside the host results of the same build folder.
results_for() {
  [[ -n "${results_dir}" ]] && { echo "${results_dir}"; return; }
  local dir
  dir="$(dirname "$1")"
  while [[ "${dir}" != / && ! -f "${dir}/CMakeCache.txt" ]]; do dir="$(dirname "${dir}")"; done
  [[ "${dir}" == / ]] && dir="$(dirname "$1")"
  echo "${dir}/results"
}

declare -A seen_xml=()
for i in "${!exes[@]}"; do
  exe="$(realpath -e "${exes[i]}")" || { echo "wine-tests: no such file: ${exes[i]}" >&2; exit 2; }
  exes[i]="${exe}"
  xml="$(results_for "${exe}")/$(basename "${exe}" .exe).xml"
  if [[ -n "${seen_xml[${xml}]:-}" ]]; then
    echo "wine-tests: ${exes[i]} and ${seen_xml[${xml}]} would both write ${xml};" \
      "run them with separate --results" >&2
    exit 2
  fi
  seen_xml[${xml}]="${exe}"
done

failures=0
ran=0

# has_tests EXE FILTER: whether the program has tests that FILTER selects.
has_tests() {
  local listed
  listed="$(timeout 120 wine "$1" --gtest_list_tests "--gtest_filter=$2" </dev/null 2>&1 |
    tr -d '\r')" || true
  grep -q '^  ' <<<"${listed}"
}

# run_program EXE XML LOG [GTEST_ARGS...]: one run under the time limit; prints the tests'
# failures and the summary; returns non-zero if anything went wrong.
run_program() {
  local exe="$1" xml="$2" log="$3"
  shift 3
  mkdir -p "${WINE_ENV_RUN}/work"
  ran=$((ran + 1))
  WINE_RUN_VERBOSE="${verbose}" wine_run_gtest wine-tests "${xml}" "${log}" "${timeout_s}" \
    "${WINE_ENV_RUN}/work" "${exe}" "$@"
}

all_started="${EPOCHREALTIME}"
trap wine_env_cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
unset TAVORO_EXPECT_WINDOWS

wine_env_init
started="${EPOCHREALTIME}"
wine_prefix_ready
wine_display_ready
wine_sound_ready
# Unless the caller points the tests at a peer of its own.
[[ -n "${TAVORO_SIP_PEER_CONSOLE:-}" ]] || wine_sip_peer_ready
echo "wine-tests: prefix, display and sound ready in $(wine_since "${started}") s," \
  "DISPLAY=${DISPLAY} (keyboard map: ${TAVORO_KEYMAP:-not set by the harness})," \
  "$(wine --version), LC_CTYPE=${LC_CTYPE}, sound server: ${TAVORO_SOUND_SERVER}"

for exe in "${exes[@]}"; do
  out="$(results_for "${exe}")"
  name="$(basename "${exe}" .exe)"
  echo "=== ${exe}"
  run_program "${exe}" "${out}/${name}.xml" "${out}/${name}.log" "${gtest_args[@]}" ||
    failures=$((failures + 1))
done

# Each variant of a matrix: the version Wine reports to the program, or the keyboard map of the
# display. <kind>_set KIND VALUE EXE prepares a run and says whether it could; <kind>_unset
# undoes it after the run.
version_set() { wine_set_windows_version "$(basename "$3")" "$2"; }
version_unset() { wine_clear_windows_version "$(basename "$3")"; }
keymap_set() { wine_keymap_set "$2"; }
keymap_unset() { wine_keymap_set "${main_keymap}" || true; }

# run_matrix OPTION FILTER KIND VALUES: runs the FILTER tests of every program again once per
# value, each into <name>-<value>.xml (versions) or <name>-<kind>-<value>.xml; a program without such tests is passed over, but
# none at all is a failure, since the option asked for them.
run_matrix() {
  local option="$1" filter="$2" kind="$3" values="$4" exe out name value result with_tests=0
  for exe in "${exes[@]}"; do
    out="$(results_for "${exe}")"
    name="$(basename "${exe}" .exe)"
    if ! has_tests "${exe}" "${filter}"; then
      echo "=== ${exe}: no ${filter} tests for ${option}"
      continue
    fi
    with_tests=$((with_tests + 1))
    for value in ${values}; do
      echo "=== ${exe} with ${kind} ${value}"
      # The version runs keep their first names: <name>-win7.xml.
      result="${out}/${name}-$([[ "${kind}" == version ]] || echo "${kind}-")${value}"
      if "${kind}_set" "${kind}" "${value}" "${exe}"; then
        # What the version test is to expect; nothing for the other matrices.
        [[ "${kind}" == version ]] && export TAVORO_EXPECT_WINDOWS="${value}"
        run_program "${exe}" "${result}.xml" "${result}.log" "--gtest_filter=${filter}" ||
          failures=$((failures + 1))
        unset TAVORO_EXPECT_WINDOWS
      else
        wine_record_problem wine-tests "${result}.xml" "${name}" "could not set ${kind} ${value}"
        failures=$((failures + 1))
      fi
      "${kind}_unset" "${kind}" "${value}" "${exe}"
    done
  done
  if ((with_tests == 0)); then
    echo "wine-tests: ${option} given, but no program has ${filter} tests"
    failures=$((failures + 1))
  fi
}

main_keymap="${TAVORO_KEYMAP:-}"
if ((matrix)); then run_matrix --version-matrix "${matrix_filter}" version "${versions}"; fi
if ((keymap_matrix)); then run_matrix --keymap-matrix "${keymap_filter}" keymap "${keymaps}"; fi

echo "wine-tests: ${ran} runs, ${failures} failed, $(wine_since "${all_started}") s in all"
((failures == 0))
