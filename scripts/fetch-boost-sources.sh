#!/usr/bin/env bash
# Fetches the Boost sources that the Windows program is built with: Debian's
# own source package of the Boost that the Linux program links (boost1.74,
# pinned below), so that both programs print the same help text and option
# errors. Leaves, in DEST, one merged include folder and the sources of the
# two compiled libraries the program uses:
#
#   DEST/include/boost/...   headers of every Boost library
#   DEST/src/program_options/*.cpp
#   DEST/src/filesystem/*.cpp
#
#   bash scripts/fetch-boost-sources.sh DEST
#
# Does nothing when DEST is already complete. The machine's apt configuration
# is left alone: the source index lives in a private folder under DEST.
set -euo pipefail

readonly version=1.74.0+ds1-21
readonly upstream=1.74.0+ds1
dest=${1:?usage: fetch-boost-sources.sh DEST}

if [[ -f "$dest/complete" ]]; then
  exit 0
fi
rm -rf "$dest"
mkdir -p "$dest/apt/sources" "$dest/apt/lists/partial" "$dest/download"
dest=$(cd "$dest" && pwd)

# One deb-src entry: the archive and suite of the machine's own Debian
# sources, checked with the Debian archive keyring.
cat >"$dest/apt/sources/boost.sources" <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
apt_options=(
  -o Dir::Etc::SourceList=/dev/null
  -o "Dir::Etc::SourceParts=$dest/apt/sources"
  -o "Dir::State::Lists=$dest/apt/lists"
  -o APT::Sandbox::User=root
)
echo "Fetching the Boost sources (boost1.74=$version, about 61 MB)"
apt-get "${apt_options[@]}" -qq update
(cd "$dest/download" && apt-get "${apt_options[@]}" -qq source --download-only "boost1.74=$version")

# The orig tarball keeps each library's headers in libs/NAME/include (and
# libs/numeric/NAME/include): merge them into one include folder.
tar -xJf "$dest/download/boost1.74_$upstream.orig.tar.xz" -C "$dest" \
  --wildcards --exclude='boost/libs/mpl/preprocessed/*' \
  'boost/libs/*/include/*' 'boost/libs/program_options/src/*' 'boost/libs/filesystem/src/*' \
  --transform='s#^boost/libs/\(numeric/\)\{0,1\}[^/]*/include/#include/#' \
  --transform='s#^boost/libs/\(program_options\|filesystem\)/src/#src/\1/#'
# Debian's fix to the program_options parser header, as in the Linux headers.
tar -xJf "$dest/download/boost1.74_$version.debian.tar.xz" -O \
  debian/patches/boostorg-program_options-pull-59.patch |
  patch -s -d "$dest/include" -p4

rm -rf "$dest/download" "$dest/apt" "$dest/boost"
touch "$dest/complete"
