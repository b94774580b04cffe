# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# Fetches a Debian source package and unpacks it with Debian's patches, through
# a private apt configuration (a deb-src copy of the system's source lists in
# a work folder); the system's apt setup is never changed.
# Sourced by scripts/windows-qt and scripts/windows-qcustomplot, which define
# say and die (a message on standard error; die ends the script).
#   debian_source WORK PACKAGE VERSION [exact]
# fetches PACKAGE into WORK (WORK/apt.log holds apt's and dpkg-source's output)
# and unpacks it into WORK/src. VERSION is the start of the Debian version that
# is wanted (the archive's newest is taken); with `exact` it is the whole
# version, fetched as PACKAGE=VERSION. Sets DEBIAN_SOURCE_DSC to the .dsc.

debian_source() {
  local work=$1 package=$2 version=$3 exact=${4:-}
  local f sources=0 wanted=$package pattern="${package}_${version}*.dsc"
  if [ "$exact" = exact ]; then
    wanted=$package=$version
    pattern=${package}_${version#*:}.dsc  # the file names carry no epoch
  fi
  mkdir -p "$work/apt/sources" "$work/apt/lists/partial" "$work/apt/archives/partial"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed -e 's/^Types:.*/Types: deb-src/' "$f" >"$work/apt/sources/$(basename "$f")"
    sources=$((sources + 1))
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    grep -E '^deb ' "$f" | sed -e 's/^deb /deb-src /' >"$work/apt/sources/$(basename "$f").list" || true
    sources=$((sources + 1))
  done
  [ "$sources" -gt 0 ] || die "no apt source list to copy under /etc/apt"
  local apt=(apt-get -q
    -o Dir::Etc::sourcelist=/dev/null
    -o Dir::Etc::sourceparts="$work/apt/sources"
    -o Dir::State::Lists="$work/apt/lists"
    -o Dir::Cache::archives="$work/apt/archives"
    -o Debug::NoLocking=true
    -o APT::Sandbox::User=root)
  "${apt[@]}" update >"$work/apt.log" 2>&1 \
    || { cat "$work/apt.log" >&2; die "could not read the source lists (is the archive reachable?)"; }
  (cd "$work" && "${apt[@]}" source --download-only "$wanted" >>"$work/apt.log" 2>&1) \
    || { tail -n 20 "$work/apt.log" >&2; die "could not fetch the source package $wanted"; }
  DEBIAN_SOURCE_DSC=$(find "$work" -maxdepth 1 -name "$pattern" | LC_ALL=C sort | tail -n 1)
  [ -n "$DEBIAN_SOURCE_DSC" ] \
    || die "the archive's $package is not version $version: $(cd "$work" && ls -- *.dsc 2>/dev/null || echo 'no .dsc')"
  say "unpacking $(basename "$DEBIAN_SOURCE_DSC") with Debian's patches"
  dpkg-source -q -x "$DEBIAN_SOURCE_DSC" "$work/src" >>"$work/apt.log" 2>&1 \
    || { tail -n 20 "$work/apt.log" >&2; die "dpkg-source could not unpack $DEBIAN_SOURCE_DSC"; }
}
