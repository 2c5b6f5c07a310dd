#!/usr/bin/env bash
# Fetches the Boost sources that the Windows program is built with: Debian's
# own source package of the Boost that the Linux program links, at the version
# installed here, so that both programs print the same help text and option
# errors. Prints the folder it leaves them in, a cache outside any build
# folder that `make clean` keeps:
#
#   ${XDG_CACHE_HOME:-$HOME/.cache}/vhdx-inspect/boost-<source version>/
#     include/boost/...            headers of every Boost library
#     src/program_options/*.cpp
#     src/filesystem/*.cpp
#     source                       "<source package>=<source version>"
#
#   boost_sources=$(bash scripts/fetch-boost-sources.sh)
#   boost_sources=$(bash scripts/fetch-boost-sources.sh --if-cached)
#
# --if-cached: fetch nothing; when the folder is not complete, say so and
# exit 3 (`make lint` configures the Windows build only from what is here).
#
# The version is the source version of the package that holds the Linux
# build's Boost headers (/usr/include/boost/version.hpp); the archive and
# suite are those the machine's own apt takes that version from (apt-cache
# madison), with the keyring its sources name for them. apt checks the
# signature of the index as it does for the machine. Does nothing when the
# folder is already complete. The machine's apt configuration is left alone:
# the source index lives in a private folder.
set -euo pipefail

if_cached=false
if [[ "${1:-}" == "--if-cached" ]]; then
  if_cached=true
  shift
fi

fail() {
  echo "fetch-boost-sources: $*" >&2
  exit 1
}

readonly header=/usr/include/boost/version.hpp
owner=$(dpkg-query -S "$header" 2>/dev/null) ||
  fail "no installed package holds $header: install libboost-program-options-dev and libboost-filesystem-dev"
package=${owner%%: *}
source=$(dpkg-query -W -f='${source:Package}=${source:Version}' "$package")
source_package=${source%%=*}
version=${source#*=}
[[ -n "$source_package" && -n "$version" ]] || fail "no source version for $package"

dest=${XDG_CACHE_HOME:-$HOME/.cache}/vhdx-inspect/boost-$version
if [[ -f "$dest/complete" ]]; then
  echo "$dest"
  exit 0
fi
if $if_cached; then
  echo "fetch-boost-sources: the Boost sources are not in $dest" >&2
  exit 3
fi

# Where the machine's apt takes the installed version from: "URI SUITE/COMPONENT".
binary_version=$(dpkg-query -W -f='${Version}' "$package")
mapfile -t origins < <(apt-cache madison "${package%%:*}" |
  awk -F' [|] ' -v v="$binary_version" '$2 == v { split($3, f, " "); print f[1], f[2] }' | sort -u)
[[ ${#origins[@]} -gt 0 ]] ||
  fail "the machine's apt sources offer no $package=$binary_version (run apt-get update, or upgrade Boost to a version they offer)"

# The keyring that the machine's sources name for URI (deb822 Signed-By, or
# a one-line entry's signed-by option); nothing when they name none, and apt
# then uses its trusted keys as it does for the machine.
keyring_of() {
  local uri=$1 file
  for file in /etc/apt/sources.list.d/*.sources; do
    [[ -f "$file" ]] || continue
    awk -v uri="$uri" '
      /^[[:space:]]*$/ { if (match_uri && key != "") { print key; exit } match_uri = 0; key = ""; next }
      /^URIs:/ { for (i = 2; i <= NF; ++i) if ($i == uri || $i == uri "/") match_uri = 1 }
      /^Signed-By:/ { key = $2 }
      END { if (match_uri && key != "") print key }' "$file"
  done
  { cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true; } |
    sed -n "s#^deb[[:space:]]*\[\([^]]*\)\][[:space:]]*${uri%/}/\{0,1\}[[:space:]].*#\1#p" |
    tr ' ' '\n' | sed -n 's/^signed-by=//p'
}

rm -rf "$dest"
mkdir -p "$dest/apt/sources" "$dest/apt/lists/partial" "$dest/download"
for origin in "${origins[@]}"; do
  uri=${origin%% *}
  suite=${origin#* }
  keyring=$(keyring_of "$uri" | head -n 1) || true
  {
    echo "Types: deb-src"
    echo "URIs: $uri"
    echo "Suites: ${suite%%/*}"
    echo "Components: ${suite#*/}"
    if [[ -n "$keyring" ]]; then echo "Signed-By: $keyring"; fi
    echo
  } >>"$dest/apt/sources/boost.sources"
done
apt_options=(
  -o Dir::Etc::SourceList=/dev/null
  -o "Dir::Etc::SourceParts=$dest/apt/sources"
  -o "Dir::State::Lists=$dest/apt/lists"
  -o APT::Sandbox::User=root
)
echo "fetch-boost-sources: fetching $source (about 61 MB) from ${origins[*]}" >&2
apt-get "${apt_options[@]}" -qq update >&2
(cd "$dest/download" && apt-get "${apt_options[@]}" -qq source --download-only "$source") >&2

# The orig tarball keeps each library's headers in libs/NAME/include (and
# libs/numeric/NAME/include): merge them into one include folder.
plain=${version#*:}  # file names carry no epoch
shopt -s nullglob
orig=("$dest/download/${source_package}_${plain%-*}".orig.tar.*)
[[ ${#orig[@]} -eq 1 ]] || fail "no single orig tarball of $source in $dest/download"
tar -xf "${orig[0]}" -C "$dest" \
  --wildcards --exclude='boost/libs/mpl/preprocessed/*' \
  'boost/libs/*/include/*' 'boost/libs/program_options/src/*' 'boost/libs/filesystem/src/*' \
  --transform='s#^boost/libs/\(numeric/\)\{0,1\}[^/]*/include/#include/#' \
  --transform='s#^boost/libs/\(program_options\|filesystem\)/src/#src/\1/#'
# Debian's fix to the program_options parser header, as in the Linux headers.
tar -xf "$dest/download/${source_package}_${plain}.debian.tar.xz" -O \
  debian/patches/boostorg-program_options-pull-59.patch |
  patch -s -d "$dest/include" -p4

rm -rf "$dest/download" "$dest/apt" "$dest/boost"
echo "$source" >"$dest/source"
touch "$dest/complete"
echo "$dest"
