#!/usr/bin/env bash
# Builds what ships: the release preset's programs, then the per-user installer and the zip,
# and prints their SHA-256. Two runs from the same commit give the same bytes
# (scripts/check-reproducible.sh proves it).
#
# Usage: scripts/release.sh [--out DIR] [--build-dir DIR] [--stand-ins DIR] [--no-bootstrap]
#   --out DIR         where the installer, the zip and SHA256SUMS go (default build/release-out)
#   --build-dir DIR   the release preset's build folder (default build/release)
#   --stand-ins DIR   take a release file that no build rule makes yet from DIR instead of
#                     failing (for trying the packaging while a part is still being written);
#                     every such file is named in a warning, and the run says so at its end
#   --no-bootstrap    do not check the installed packages first
#
# The release files are Tavoro.exe, Ondawn.exe, Tavoro.chm and sd.avi from
# <build>/src/main/, and res/release/README-ja.txt. SOURCE_DATE_EPOCH, when set, fixes every
# time stamp; otherwise it is the last commit's time (a constant outside a git checkout).
# Exits non-zero, naming the file, when a release file cannot be built.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${repo}/build/release-out"
build="${repo}/build/release"
stand_ins=""
bootstrap=1
release_files=(Tavoro.exe Ondawn.exe Tavoro.chm sd.avi)

usage() { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit "${1:-2}"; }
fail() { echo "release: $*" >&2; exit 1; }

while (($#)); do
  case "$1" in
    --out) out="${2:?}"; shift 2 ;;
    --build-dir) build="${2:?}"; shift 2 ;;
    --stand-ins) stand_ins="$(realpath -e "${2:?}")" || fail "no such folder: $2"; shift 2 ;;
    --no-bootstrap) bootstrap=0; shift ;;
    -h | --help) usage 0 ;;
    *) echo "release: unknown argument $1" >&2; usage >&2 ;;
  esac
done
mkdir -p "${out}" "${build}"
out="$(realpath "${out}")"
build="$(realpath "${build}")"

if ((bootstrap)); then
  "${repo}/scripts/bootstrap.sh"
fi
for tool in cmake ninja makensis python3 sha256sum; do
  command -v "${tool}" >/dev/null || fail "${tool} is missing (scripts/bootstrap.sh installs it)"
done

# The version the user sees ("1.00") and the four numbers of a version resource.
read -r major minor patch < <(sed -n \
  's/^project(Tavoro VERSION \([0-9]*\)\.\([0-9]*\)\.\([0-9]*\).*/\1 \2 \3/p' \
  "${repo}/CMakeLists.txt")
[[ -n "${major:-}" ]] || fail "no project(Tavoro VERSION x.y.z) in CMakeLists.txt"
version="$(printf '%d.%02d' "${major}" "${minor}")"
version4="${major}.${minor}.${patch}.0"

if [[ ! "${SOURCE_DATE_EPOCH:-}" =~ ^[0-9]+$ ]]; then
  # 2026-01-01 00:00 UTC for a tree without history (an exported source archive).
  SOURCE_DATE_EPOCH="$(git -C "${repo}" log -1 --format=%ct 2>/dev/null || echo 1767225600)"
fi
export SOURCE_DATE_EPOCH
echo "release: Tavorophone ${version}, SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH}" \
  "($(date -u -d "@${SOURCE_DATE_EPOCH}" '+%Y-%m-%d %H:%M:%S UTC'))"

# Only the release files are built: their rules, whatever their targets are called, pull in
# what they need, and the test programs stay out of a release build.
cmake --preset release -B "${build}" >"${build}/configure.log" 2>&1 ||
  { tail -n 30 "${build}/configure.log" >&2; fail "configuring ${build} failed (log: ${build}/configure.log)"; }
targets=() missing=() borrowed=()
for file in "${release_files[@]}"; do
  if ninja -C "${build}" -t query "src/main/${file}" >/dev/null 2>&1; then
    targets+=("src/main/${file}")
  elif [[ -n "${stand_ins}" && -f "${stand_ins}/${file}" ]]; then
    borrowed+=("${file}")
  else
    missing+=("src/main/${file}")
  fi
done
if ((${#missing[@]})); then
  fail "no build rule makes ${missing[*]} in ${build} (not in CMake yet?);" \
    "give --stand-ins DIR to package stand-ins for them"
fi
# The program's icon, where the build draws one, is the installer's too.
icon=()
if ninja -C "${build}" -t query src/main/tavoro.ico >/dev/null 2>&1; then
  targets+=(src/main/tavoro.ico)
  icon=("-DICON=${build}/src/main/tavoro.ico")
fi
if ((${#targets[@]})); then
  cmake --build "${build}" -j "${TAVORO_JOBS:-2}" --target "${targets[@]}"
fi

# The files go into the zip under one folder of this name, and the installer takes them from it.
name="Tavorophone-${version}"
stage="${build}/release-stage/${name}"
rm -rf "${build}/release-stage"
mkdir -p "${stage}"
for file in "${release_files[@]}"; do
  from="${build}/src/main/${file}"
  if [[ " ${borrowed[*]} " == *" ${file} "* ]]; then
    from="${stand_ins}/${file}"
    echo "release: WARNING: ${file} is a stand-in from ${stand_ins}, not built here" >&2
  fi
  [[ -f "${from}" ]] || fail "${from} was not made by the build"
  cp "${from}" "${stage}/${file}"
done
# Notepad on Windows 7 and 8 takes text without a byte order mark as the ANSI code page and
# shows one long line without CR LF; with both, every Notepad shows it right, in any locale.
python3 - "${repo}/res/release/README-ja.txt" "${stage}/README-ja.txt" "${version}" <<'PY'
import sys
source, target, version = sys.argv[1:]
data = open(source, "rb").read()
if data.startswith(b"\xef\xbb\xbf"):
    data = data[3:]
text = data.decode("utf-8").replace("\r\n", "\n").replace("@VERSION@", version)
open(target, "wb").write(b"\xef\xbb\xbf" + text.replace("\n", "\r\n").encode("utf-8"))
PY
(
  cd "${stage}"
  sha256sum -- "${release_files[@]}" README-ja.txt >SHA256SUMS
)
chmod 0644 "${stage}"/*
touch -d "@${SOURCE_DATE_EPOCH}" "${stage}"/*

installer="${out}/${name}-setup.exe"
zip="${out}/${name}.zip"
rm -f "${installer}" "${zip}" "${out}/SHA256SUMS"
# -WX: a warning (a missing language string, an unused variable) is a defect in what ships.
makensis -V2 -WX -INPUTCHARSET UTF8 "-DVERSION=${version}" "-DVERSION4=${version4}" \
  "-DSTAGE=${stage}" "-DOUTFILE=${installer}" "${icon[@]}" "${repo}/installer/tavoro.nsi" ||
  fail "makensis failed"
python3 "${repo}/scripts/deterministic-zip.py" "${zip}" "${SOURCE_DATE_EPOCH}" "${name}" "${stage}" ||
  fail "writing ${zip} failed"
(
  cd "${out}"
  sha256sum -- "$(basename "${installer}")" "$(basename "${zip}")" >SHA256SUMS
)

echo "release: files (SHA-256) in ${name}.zip:"
sed 's/^/  /' "${stage}/SHA256SUMS"
echo "release: made in ${out}:"
sed 's/^/  /' "${out}/SHA256SUMS"
if ((${#borrowed[@]})); then
  echo "release: NOT FOR SHIPPING: stand-ins packaged for ${borrowed[*]}"
fi
