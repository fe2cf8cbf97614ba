#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test: the host tests natively
# and under ASan/UBSan, the INI fuzzer for a bounded time, and the Windows tests of both
# builds under Wine, with the Windows version matrix and the keyboard layout matrix.
#
# Usage: scripts/test.sh [--quick] [--only PRESET[,PRESET...]] [--fuzz-time SECS]
#                        [--no-bootstrap]
#   --quick          skip host-sanitize and fuzz
#   --only LIST      only these presets (host, host-sanitize, fuzz, win32, win64)
#   --fuzz-time N    seconds of fuzzing (default 30)
#   --no-bootstrap   do not check the installed packages first
#
# Every phase runs even when an earlier one failed (tests of a preset that did not build are
# skipped), the wall time of each is printed, and the last line sums the GoogleTest results of
# this run as "tests: N passed, N failed"; a build or fuzz step that failed counts as one
# failure there. Exits non-zero if anything failed.
set -uo pipefail
# The phase functions are called through phase(), which shellcheck cannot follow.
# shellcheck disable=SC2317

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "${repo}" || exit 1

all_presets=(host host-sanitize fuzz win32 win64)
presets=("${all_presets[@]}")
fuzz_time=30
bootstrap=1

while (($#)); do
  case "$1" in
    --quick) presets=(host win32 win64); shift ;;
    --only) IFS=, read -r -a presets <<<"${2:?}"; shift 2 ;;
    --fuzz-time) fuzz_time="${2:?}"; shift 2 ;;
    --no-bootstrap) bootstrap=0; shift ;;
    -h | --help) sed -n '2,/^set -uo/{/^set -uo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    *) echo "test.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
for p in "${presets[@]}"; do
  [[ " ${all_presets[*]} " == *" ${p} "* ]] || { echo "test.sh: unknown preset ${p}" >&2; exit 2; }
done
wants() { [[ " ${presets[*]} " == *" $1 "* ]]; }

phase_names=()
phase_results=()
phase_times=()
failed_steps=0
declare -A built=()

now() { echo "${EPOCHREALTIME}"; }
elapsed() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

# phase NAME COMMAND...: runs one step, records its outcome and time; returns its status.
phase() {
  local name="$1" started rc=0
  shift
  echo
  echo "::: ${name}"
  started="$(now)"
  "$@" || rc=$?
  phase_names+=("${name}")
  phase_times+=("$(elapsed "${started}")")
  if ((rc == 0)); then
    phase_results+=(ok)
  else
    phase_results+=("FAILED (${rc})")
  fi
  echo "::: ${name}: ${phase_results[-1]} in ${phase_times[-1]} s"
  return "${rc}"
}

skip() {
  phase_names+=("$1")
  phase_results+=("skipped: $2")
  phase_times+=(0.0)
  echo
  echo "::: $1: skipped, $2"
}

build_preset() { cmake --preset "$1" && cmake --build --preset "$1"; }

# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
no_32bit="this machine cannot run 32-bit programs"

# ctest runs each test program, which writes its own XML; one that dies before writing it
# (a sanitizer abort, a crash) gets a result with one failure so the totals show it.
run_ctest() {
  local preset="$1" results="build/$1/results" rc=0 name
  rm -rf "${results}"
  mkdir -p "${results}"
  ctest --preset "${preset}" --output-on-failure --timeout 900 || rc=$?
  while read -r name; do
    [[ -s "${results}/${name}.xml" ]] && continue
    echo "${name} (${preset}) ended without writing results: counted as one failure"
    python3 scripts/gtest-xml.py missing "${results}/${name}.xml" "${name}" \
      "${name} (${preset}) ended without writing results"
  done < <(ctest --preset "${preset}" -N | sed -n 's/^ *Test *#[0-9]*: *//p')
  return "${rc}"
}

run_fuzzer() {
  local fuzzer=build/fuzz/tests/fuzz/ini_fuzzer corpus=build/fuzz/corpus
  local artifacts=build/fuzz/artifacts log=build/fuzz/fuzz.log rc=0
  [[ -x "${fuzzer}" ]] || { echo "no fuzzer at ${fuzzer}"; return 1; }
  mkdir -p "${corpus}" "${artifacts}"
  local seeds=()
  [[ -d tests/fuzz/corpus ]] && seeds=(tests/fuzz/corpus)
  # The first folder collects what the fuzzer finds; the checked-in seeds are only read.
  "${fuzzer}" -max_total_time="${fuzz_time}" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="${artifacts}/" "${corpus}" "${seeds[@]}" \
    >"${log}" 2>&1 </dev/null || rc=$?
  if ((rc == 0)); then
    grep -E '^(#[0-9]+ +DONE|Done |stat::)' "${log}" || tail -n 5 "${log}"
  else
    tail -n 40 "${log}"
    echo "fuzzer failed (${rc}); full log ${log}; reproduce with: ${fuzzer} ${artifacts}/<file>"
    ls -l "${artifacts}"
  fi
  return "${rc}"
}

run_wine() {
  local preset="$1" exes=() name exe
  rm -rf "build/${preset}/results"
  for name in contract_tests win32_tests; do
    exe="build/${preset}/tests/${name}.exe"
    [[ -f "${exe}" ]] || { echo "missing ${exe}"; return 1; }
    exes+=("${exe}")
  done
  for exe in "build/${preset}"/tests/*_tests.exe; do
    [[ " ${exes[*]} " == *" ${exe} "* ]] || exes+=("${exe}")
  done
  scripts/wine-tests.sh --version-matrix --keymap-matrix "${exes[@]}"
}

total_started="$(now)"
# A signal to this script alone ends it after the running phase, which cleans up after itself.
trap 'echo "test.sh: stopped by a signal"; exit 130' INT
trap 'echo "test.sh: stopped by a signal"; exit 143' TERM

if ((bootstrap)); then
  if ! phase bootstrap scripts/bootstrap.sh; then
    echo "test.sh: the tools could not be installed; stopping"
    echo "tests: 0 passed, 1 failed"
    exit 1
  fi
fi

# The i686 programs (and the NSIS installer) need a machine that runs 32-bit programs; asked
# once, now that bootstrap has installed Wine.
runs_i686=0
wine_runs_32bit && runs_i686=1

# No folder includes from a folder above it (a failure counts as one failed step).
phase layers scripts/check-layers.sh || failed_steps=$((failed_steps + 1))

# Only this run's results may be counted, also for a preset whose tests end up not running.
for preset in "${presets[@]}"; do rm -rf "build/${preset}/results"; done
rm -rf build/release/results

for preset in "${presets[@]}"; do
  if phase "build ${preset}" build_preset "${preset}"; then
    built[${preset}]=1
  else
    failed_steps=$((failed_steps + 1))
  fi
done

for preset in host host-sanitize; do
  wants "${preset}" || continue
  if [[ -n "${built[${preset}]:-}" ]]; then
    phase "ctest ${preset}" run_ctest "${preset}" || true
  else
    skip "ctest ${preset}" "build failed"
  fi
done

if wants fuzz; then
  if [[ -n "${built[fuzz]:-}" ]]; then
    phase "fuzz ${fuzz_time} s" run_fuzzer || failed_steps=$((failed_steps + 1))
  else
    skip fuzz "build failed"
  fi
fi

for preset in win32 win64; do
  wants "${preset}" || continue
  if [[ "${preset}" == win32 ]] && ((!runs_i686)); then
    skip "wine ${preset}" "${no_32bit}"
  elif [[ -n "${built[${preset}]:-}" ]]; then
    phase "wine ${preset}" run_wine "${preset}" || true
  else
    skip "wine ${preset}" "build failed"
  fi
done

# The programs end to end, every Windows build in one prefix; after the wine phases, which
# replace the builds' results folders that this adds to.
e2e_builds=()
e2e_unbuilt=0
for preset in win32 win64; do
  wants "${preset}" || continue
  if [[ "${preset}" == win32 ]] && ((!runs_i686)); then
    skip "e2e win32" "${no_32bit}"
  elif [[ -n "${built[${preset}]:-}" ]]; then
    e2e_builds+=("build/${preset}")
  else
    e2e_unbuilt=1
  fi
done
if ((${#e2e_builds[@]})); then
  phase "e2e" scripts/e2e.sh "${e2e_builds[@]}" || true
elif ((e2e_unbuilt)); then
  skip "e2e" "build failed"
fi

# The release: built twice from copies of the tree and compared, then installed and removed
# under Wine.
if wants win32; then
  if phase "release reproducible" scripts/check-reproducible.sh --no-bootstrap \
    --out build/release-out; then
    if ((runs_i686)); then
      phase "e2e installer" scripts/e2e-installer.sh || true
    else
      skip "e2e installer" "${no_32bit}"
    fi
  else
    failed_steps=$((failed_steps + 1))
    skip "e2e installer" "no release"
  fi
fi

echo
echo "::: summary"
for i in "${!phase_names[@]}"; do
  printf '  %-22s %-24s %7s s\n' "${phase_names[i]}" "${phase_results[i]}" "${phase_times[i]}"
done
printf '  %-22s %-24s %7s s\n' total "" "$(elapsed "${total_started}")"

xmls=()
for preset in host host-sanitize win32 win64 release; do
  wants "${preset}" || { [[ "${preset}" == release ]] && wants win32; } || continue
  for xml in "build/${preset}/results"/*.xml; do
    [[ -f "${xml}" ]] && xmls+=("${xml}")
  done
done
passed=0 failed=0 skipped=0
if ((${#xmls[@]})); then
  read -r passed failed skipped < <(python3 scripts/gtest-xml.py total "${xmls[@]}")
fi
status=0
for result in "${phase_results[@]}"; do [[ "${result}" == ok || "${result}" == skipped:* ]] || status=1; done
# A run that selected test programs but counted no passing test ran nothing it was meant to.
if ((passed == 0)) && { wants host || wants host-sanitize || wants win32 || wants win64; }; then
  echo "test.sh: no test passed"
  status=1
fi
echo "  ${#xmls[@]} result files, ${skipped} tests skipped or disabled," \
  "${failed_steps} failed build or fuzz steps counted as failures"
echo "tests: ${passed} passed, $((failed + failed_steps)) failed"
exit "${status}"
