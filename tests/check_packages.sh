#!/usr/bin/env bash
# The Debian packages as a user meets them: built by "./build.sh deb", free of
# lintian errors and warnings, installed with apt without recommended packages,
# the installed simulator started under Xvfb until both windows are mapped,
# both programs answering without a display, then purged without a trace.
# Installs into this system: as root or with sudo.
set -euo pipefail
cd "$(dirname "$0")/.."
apt=(env DEBIAN_FRONTEND=noninteractive apt-get -y -qq)
[ "$(id -u)" -eq 0 ] || apt=(sudo "${apt[@]}")
packages=(pendralumovista pendralumovista-ansage)
id=io.github.pendralumovista.Pendralumovista
scratch=$(mktemp -d)
clean_up() {
  kill $(jobs -p) 2>/dev/null || true
  "${apt[@]}" purge "${packages[@]}" &>/dev/null || true
  rm -rf "$scratch"
}
trap clean_up EXIT
fail() { echo "check_packages: $*" >&2; exit 1; }

./build.sh deb
version=$(sed -n 's/^project(Pendralumovista VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
debs=(./build-deb/pendralumovista_"$version"_*.deb ./build-deb/pendralumovista-ansage_"$version"_*.deb)
[ -f "${debs[0]}" ] && [ -f "${debs[1]}" ] || fail "no packages of version $version in build-deb/"
lintian --fail-on error,warning build-deb/*.changes || fail "lintian reports errors or warnings"

"${apt[@]}" install --no-install-recommends "${debs[@]}"
dpkg -L "${packages[@]}" > "$scratch/files"
desktop-file-validate /usr/share/applications/$id.desktop /usr/share/applications/$id.Ansage.desktop
appstreamcli validate --no-net /usr/share/metainfo/$id.metainfo.xml
man -w "${packages[@]}" > /dev/null

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
# No session bus: the installed program must start here, not hand over to a
# simulator running on the desktop.
DISPLAY=":$(cat "$scratch/display")" DBUS_SESSION_BUS_ADDRESS=disabled: /usr/bin/pendralumovista &
program=$!
mapped() { DISPLAY=":$(cat "$scratch/display")" xdotool search --onlyvisible --class '^Pendralumovista$' | wc -l; }
for _ in $(seq 150); do
  kill -0 $program 2>/dev/null || fail "the installed pendralumovista ended at start"
  [ "$(mapped)" -eq 2 ] && break || sleep 0.2
done
[ "$(mapped)" -eq 2 ] || fail "the installed pendralumovista did not map its two windows"
kill $program

[ "$(env -u DISPLAY /usr/bin/pendralumovista --version)" = "pendralumovista $version" ] || fail "wrong --version"
[ -n "$(env -u DISPLAY /usr/bin/pendralumovista-ansage --help)" ] || fail "pendralumovista-ansage --help printed nothing"

"${apt[@]}" purge "${packages[@]}"
# Shared folders such as /usr/share/applications stay; the programs' own go.
while read -r path; do
  [ -L "$path" ] || [ -f "$path" ] || [[ -d "$path" && "$path" == *pendralumovista* ]] && fail "left after purge: $path"
done < "$scratch/files"
echo "check_packages: built, lintian-clean, installed, started, answered, purged without a trace"
