#!/usr/bin/env bash
# Fetches the SIP stack (libre, rem and baresip) from Debian trixie's source packages, checks
# the upstream tarballs against the sums pinned below and builds them as static libraries for a
# MinGW-w64 triplet. A triplet whose stamp matches the pins, this recipe and the compiler is
# left alone, and tarballs already kept are not fetched again: a second run takes well under a
# second and never touches the network.
#
# Usage: scripts/sip-stack.sh [--cache DIR] [--fetch-only] TRIPLET...
#   TRIPLET        i686-w64-mingw32 or x86_64-w64-mingw32
#   --cache DIR    where everything goes (default build/sip-stack):
#                    DIR/downloads/                the tarballs
#                    DIR/TRIPLET/include, lib/     headers and lib{re,rem,baresip}.a
#   --fetch-only   fetch and check the tarballs, build nothing (no TRIPLET needed)
#
# apt-get fetches the tarballs with the archive's signature and checksum checks, through a
# private apt state under DIR/apt: the machine's apt sources are neither read nor changed, and
# no root is needed. DEBIAN_MIRROR overrides http://deb.debian.org/debian. A tarball whose
# SHA-256 differs from its pin is set aside as *.rejected and nothing is built.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cache="${repo}/build/sip-stack"
fetch_only=0
triplets=()

# Raise when the build below changes in a way that must rebuild every cache.
recipe=1
tarballs=(libre_2.0.1.orig.tar.gz rem_1.0.0.orig.tar.gz baresip_1.1.0.orig.tar.gz)
declare -A sha256=(
  [libre_2.0.1.orig.tar.gz]=43aa439b96aff75fe5768b9f9d49dea97042e42e7647df47b345465763e2f7ed
  [rem_1.0.0.orig.tar.gz]=bcc91bb521fae183357fb422b00a3981477a22e99d3afe165c4ec50a6bbed9da
  [baresip_1.1.0.orig.tar.gz]=f9230b27c4a62f31223847bc485c51f3d960f8a09f36998dedb73358e1784b4e
)

usage() { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit "${1:-2}"; }
fail() { echo "sip-stack: $*" >&2; exit 1; }

while (($#)); do
  case "$1" in
    --cache) cache="${2:?}"; shift 2 ;;
    --fetch-only) fetch_only=1; shift ;;
    -h | --help) usage 0 ;;
    -*) echo "sip-stack: unknown argument $1" >&2; usage >&2 ;;
    i686-w64-mingw32 | x86_64-w64-mingw32) triplets+=("$1"); shift ;;
    *) echo "sip-stack: unknown triplet $1" >&2; usage >&2 ;;
  esac
done
((fetch_only || ${#triplets[@]})) || usage >&2
mkdir -p "${cache}"
cache="$(realpath "${cache}")"
downloads="${cache}/downloads"

now() { echo "${EPOCHREALTIME}"; }
since() { awk -v a="$1" -v b="${EPOCHREALTIME}" 'BEGIN { printf "%.1f", b - a }'; }

sum_of() { sha256sum <"$1" | cut -d' ' -f1; }

kept_and_sound() {
  local file
  for file in "${tarballs[@]}"; do
    [[ -f "${downloads}/${file}" && "$(sum_of "${downloads}/${file}")" == "${sha256[${file}]}" ]] ||
      return 1
  done
}

fetch() {
  local apt="${cache}/apt" started
  started="$(now)"
  command -v apt-get >/dev/null || fail "apt-get is missing"
  [[ -f /usr/share/keyrings/debian-archive-keyring.gpg ]] ||
    fail "no /usr/share/keyrings/debian-archive-keyring.gpg (scripts/bootstrap.sh installs it)"
  rm -rf "${apt}"
  mkdir -p "${apt}/sources" "${apt}/lists/partial" "${apt}/cache/archives/partial" \
    "${apt}/incoming" "${downloads}"
  cat >"${apt}/sources/trixie.sources" <<EOF
Types: deb-src
URIs: ${DEBIAN_MIRROR:-http://deb.debian.org/debian}
Suites: trixie
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  local options=(-q -o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=${apt}/sources"
    -o "Dir::State::Lists=${apt}/lists" -o "Dir::Cache=${apt}/cache"
    -o APT::Get::Only-Source=true)
  # As root apt hands downloads to its _apt user, which may not write to this tree.
  ((EUID == 0)) && options+=(-o APT::Sandbox::User=root)
  apt-get "${options[@]}" update >"${apt}/update.log" 2>&1 ||
    { cat "${apt}/update.log" >&2; fail "apt-get update for trixie's sources failed"; }
  # By source name without a version: a new Debian revision keeps the same upstream tarball,
  # and a new upstream version fails the pins below rather than being built unnoticed.
  (cd "${apt}/incoming" && apt-get "${options[@]}" source --tar-only libre rem baresip) \
    >"${apt}/source.log" 2>&1 ||
    { cat "${apt}/source.log" >&2; fail "apt-get source failed"; }
  local file
  for file in "${tarballs[@]}"; do
    [[ -f "${apt}/incoming/${file}" ]] ||
      fail "trixie no longer serves ${file} (it served: $(cd "${apt}/incoming" && echo *));" \
        "update the pins in $0"
    mv -f "${apt}/incoming/${file}" "${downloads}/${file}"
  done
  rm -rf "${apt}"
  echo "sip-stack: fetched ${tarballs[*]} in $(since "${started}") s"
}

check_sums() {
  local file actual bad=0
  for file in "${tarballs[@]}"; do
    actual="$(sum_of "${downloads}/${file}")"
    if [[ "${actual}" != "${sha256[${file}]}" ]]; then
      echo "sip-stack: ${file}: SHA-256 ${actual}, pinned ${sha256[${file}]}" >&2
      mv -f "${downloads}/${file}" "${downloads}/${file}.rejected"
      bad=1
    fi
  done
  ((bad == 0)) || fail "a tarball does not match its pin (set aside as *.rejected); nothing built"
}

# stamp TRIPLET: what a cache was built from; a cache with another stamp is rebuilt.
stamp() {
  local file
  echo "recipe ${recipe}"
  echo "triplet $1"
  # Debian's MinGW compilers call themselves "12-posix" whatever their release; the compiler
  # proper's size and date (in UTC, whatever the zone of the build) change with every update.
  "$1-gcc-posix" --version | head -n 1
  TZ=UTC stat -c 'cc1 %s bytes, %y' "$("$1-gcc-posix" -print-prog-name=cc1)"
  for file in "${tarballs[@]}"; do echo "${sha256[${file}]}  ${file}"; done
}

build() {
  local triplet="$1" out="${cache}/$1" started step
  local work="${out}/work"
  started="$(now)"
  command -v "${triplet}-gcc-posix" >/dev/null ||
    fail "${triplet}-gcc-posix is missing (scripts/bootstrap.sh installs it)"
  rm -rf "${out}"
  mkdir -p "${work}" "${out}/include" "${out}/lib"
  tar -C "${work}" -xzf "${downloads}/libre_2.0.1.orig.tar.gz"
  tar -C "${work}" -xzf "${downloads}/rem_1.0.0.orig.tar.gz"
  tar -C "${work}" -xzf "${downloads}/baresip_1.1.0.orig.tar.gz"
  mv "${work}/re-2.0.1" "${work}/re"
  mv "${work}/rem-1.0.0" "${work}/rem"
  mv "${work}/baresip-1.1.0" "${work}/baresip"
  # SYSROOT points the make files' header probes (pthread.h, ifaddrs.h, epoll.h, ...) at
  # MinGW's headers instead of the build machine's. The prefix map and the D flag (no dates,
  # no ids) make the archives the same bytes wherever and whenever they are built; AFLAGS on
  # the command line wins over the make files' "cru".
  local common=("CC=${triplet}-gcc-posix" "CXX=${triplet}-g++-posix" "LD=${triplet}-gcc-posix"
    "CROSS_COMPILE=${triplet}-" "AR=${triplet}-ar" "RANLIB=${triplet}-ranlib"
    "SYSROOT=/usr/${triplet}" USE_OPENSSL= USE_ZLIB= RELEASE=1 AFLAGS=crD
    "EXTRA_CFLAGS=-ffile-prefix-map=${work}=.")
  local jobs="${TAVORO_JOBS:-2}" log
  for step in re rem baresip; do
    local step_started
    step_started="$(now)"
    log="${out}/${step}.log"
    case "${step}" in
      re) (cd "${work}/re" && make -j"${jobs}" "${common[@]}" libre.a) >"${log}" 2>&1 ;;
      rem)
        (cd "${work}/rem" && make -j"${jobs}" "${common[@]}" LIBRE_MK=../re/mk/re.mk \
          LIBRE_INC=../re/include librem.a) >"${log}" 2>&1
        ;;
      baresip)
        (cd "${work}/baresip" && make -j"${jobs}" "${common[@]}" LIBRE_MK=../re/mk/re.mk \
          LIBRE_INC=../re/include LIBRE_SO=../re LIBREM_PATH=../rem STATIC=1 \
          "MODULES=g711 winwave" libbaresip.a) >"${log}" 2>&1
        ;;
    esac || { tail -n 30 "${log}" >&2; fail "building ${step} for ${triplet} failed (log: ${log})"; }
    echo "sip-stack: ${triplet}: ${step} built in $(since "${step_started}") s"
  done
  cp "${work}/re/libre.a" "${work}/rem/librem.a" "${work}/baresip/libbaresip.a" "${out}/lib/"
  cp -r "${work}/re/include" "${out}/include/re"
  cp -r "${work}/rem/include" "${out}/include/rem"
  cp "${work}/baresip/include/baresip.h" "${out}/include/"
  rm -rf "${work}"
  stamp "${triplet}" >"${out}/stamp"
  echo "sip-stack: ${triplet}: built in $(since "${started}") s:" \
    "$(cd "${out}/lib" && stat -c '%n %s' ./*.a | sed 's|^\./||' | paste -sd, - | sed 's/,/, /g') bytes"
}

started="$(now)"
current() { [[ -f "${cache}/$1/stamp" && "$(cat "${cache}/$1/stamp")" == "$(stamp "$1")" ]]; }
stale=()
for triplet in "${triplets[@]}"; do
  if current "${triplet}"; then
    echo "sip-stack: ${triplet}: up to date in ${cache}/${triplet}"
  else
    stale+=("${triplet}")
  fi
done

# Builds may run this at the same time: the tarballs are fetched under one lock, and each
# triplet is built under its own (win32 and release share the i686 one), then looked at again
# in case the other run built it meanwhile.
if ((fetch_only || ${#stale[@]})); then
  exec 9>"${cache}/downloads.lock"
  flock 9
  if kept_and_sound; then
    echo "sip-stack: tarballs kept in ${downloads}"
  else
    fetch
    check_sums
  fi
  exec 9>&-
fi
((fetch_only)) && exit 0
for triplet in "${stale[@]}"; do
  exec 9>"${cache}/${triplet}.lock"
  flock 9
  current "${triplet}" || build "${triplet}"
  exec 9>&-
done
echo "sip-stack: done in $(since "${started}") s"
