#!/usr/bin/env bash
# Builds the release twice from the same sources and compares the results byte for byte: the
# executables, the help, the clip, the read-me, the installer and the zip. The two builds differ
# in everything that must not show in what ships: the path of the source tree, the path of the
# build folder, the time zone, the umask and the time of day.
#
# Usage: scripts/check-reproducible.sh [--work DIR] [--out DIR] [--stand-ins DIR] [--keep]
#                                      [--no-bootstrap]
#   --work DIR        where the two copies and builds go (default: a new folder in $TMPDIR)
#   --out DIR         when both builds agree, put the installer, the zip and SHA256SUMS here,
#                     as scripts/release.sh --out would (saves a third build before
#                     scripts/e2e-installer.sh)
#   --stand-ins DIR   passed to scripts/release.sh for release files no build rule makes yet
#   --keep            keep the work folder even when both builds agree
#   --no-bootstrap    do not check the installed packages first
#
# The sources are the working tree's files (tracked, and new ones not ignored), so uncommitted
# changes are checked too; SOURCE_DATE_EPOCH is the last commit's time for both. Exits 0 when
# every file is identical, 1 naming each file that differs (the work folder is then kept for a
# closer look, e.g. with diffoscope), 2 on bad usage.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work=""
out=""
stand_ins=()
keep=0
bootstrap=1

usage() { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit "${1:-2}"; }
while (($#)); do
  case "$1" in
    --work) work="${2:?}"; shift 2 ;;
    --out) out="${2:?}"; shift 2 ;;
    --stand-ins) stand_ins=(--stand-ins "$(realpath -e "${2:?}")"); shift 2 ;;
    --keep) keep=1; shift ;;
    --no-bootstrap) bootstrap=0; shift ;;
    -h | --help) usage 0 ;;
    *) echo "check-reproducible: unknown argument $1" >&2; usage >&2 ;;
  esac
done

started="${EPOCHREALTIME}"
since() { awk -v a="$1" -v b="${EPOCHREALTIME}" 'BEGIN { printf "%.1f", b - a }'; }

((bootstrap)) && "${repo}/scripts/bootstrap.sh"
if [[ -z "${work}" ]]; then
  work="$(mktemp -d "${TMPDIR:-/tmp}/tavoro-reproducible.XXXXXX")"
else
  mkdir -p "${work}"
  work="$(realpath "${work}")"
fi
if [[ ! "${SOURCE_DATE_EPOCH:-}" =~ ^[0-9]+$ ]]; then
  SOURCE_DATE_EPOCH="$(git -C "${repo}" log -1 --format=%ct 2>/dev/null || echo 1767225600)"
fi
export SOURCE_DATE_EPOCH

# copy_sources DEST: the tree as a developer sees it, without any build output.
copy_sources() {
  mkdir -p "$1"
  if git -C "${repo}" rev-parse --git-dir >/dev/null 2>&1; then
    git -C "${repo}" ls-files -z --cached --others --exclude-standard |
      (cd "${repo}" && xargs -0 sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh) |
      tar -C "${repo}" --null -T - -cf - | tar -C "$1" -xf -
  else
    tar -C "${repo}" --exclude=./build -cf - . | tar -C "$1" -xf -
  fi
}

# One build per copy; the second copy lies at a deeper path of another length, builds in a
# folder of another name, and runs under another time zone and umask.
build_one() {
  local tree="$1" build="$2" tz="$3" mask="$4" rc=0
  echo "check-reproducible: building in ${tree} (TZ=${tz}, umask ${mask})"
  (
    umask "${mask}"
    export TZ="${tz}"
    "${tree}/scripts/release.sh" --no-bootstrap --build-dir "${tree}/${build}" \
      --out "${tree}/out" "${stand_ins[@]}"
  ) >"${tree}.log" 2>&1 || rc=$?
  if ((rc != 0)); then
    tail -n 30 "${tree}.log"
    echo "check-reproducible: the release build in ${tree} failed (log: ${tree}.log)"
    return 1
  fi
}

one="${work}/one/src"
two="${work}/second-copy/of/the/tree"
# Taken once and copied, so that both builds see the same files even while someone edits the
# working tree.
rm -rf "${work}/one" "${work}/second-copy"
copy_sources "${one}"
mkdir -p "$(dirname "${two}")"
cp -a "${one}" "${two}"
build_started="${EPOCHREALTIME}"
build_one "${one}" build/release UTC 0022
echo "check-reproducible: first build took $(since "${build_started}") s"
build_started="${EPOCHREALTIME}"
build_one "${two}" out-of-the-way-build Asia/Tokyo 0002
echo "check-reproducible: second build took $(since "${build_started}") s"

# Everything the release is made of: the staged files (what the zip and installer hold) and
# the installer and zip themselves.
list() {
  (cd "$1/$2/release-stage" && find . -type f | sort | sed 's|^\./||')
  (cd "$1/out" && ls -1 ./*.exe ./*.zip | sed 's|^\./||')
}
sum_of() {
  local tree="$1" build="$2" file="$3"
  if [[ -f "${tree}/${build}/release-stage/${file}" ]]; then
    sha256sum <"${tree}/${build}/release-stage/${file}" | cut -d' ' -f1
  elif [[ -f "${tree}/out/${file}" ]]; then
    sha256sum <"${tree}/out/${file}" | cut -d' ' -f1
  else
    echo "(missing)"
  fi
}

differ=0
files="$( (list "${one}" build/release; list "${two}" out-of-the-way-build) | sort -u)"
printf '%-44s %s\n' "file" "SHA-256 of both builds, or of each when they differ"
while read -r file; do
  a="$(sum_of "${one}" build/release "${file}")"
  b="$(sum_of "${two}" out-of-the-way-build "${file}")"
  if [[ "${a}" == "${b}" ]]; then
    printf '%-44s %s\n' "${file}" "${a}"
  else
    printf '%-44s DIFFERS\n%-44s   first:  %s\n%-44s   second: %s\n' "${file}" "" "${a}" "" "${b}"
    differ=$((differ + 1))
  fi
done <<<"${files}"

echo "check-reproducible: SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH}, $(since "${started}") s in all"
if ((differ)); then
  echo "check-reproducible: ${differ} files differ; both builds kept in ${work}"
  exit 1
fi
if [[ -n "${out}" ]]; then
  mkdir -p "${out}"
  rm -f "${out}"/Tavorophone-*-setup.exe "${out}"/Tavorophone-*.zip "${out}/SHA256SUMS"
  cp "${one}/out"/* "${out}/"
  echo "check-reproducible: the release is in ${out}"
fi
((keep)) || rm -rf "${work}"
echo "check-reproducible: all $(wc -l <<<"${files}") files identical"
