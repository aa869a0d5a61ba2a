#!/usr/bin/env bash
# The Debian packages as a user meets them: built as "./build.sh deb" builds
# them, checked by lintian and by the validators of menu entries and AppStream
# metadata, installed with apt, the installed simulator started on a virtual
# X server until both its windows show, both programs asked for version and
# help, then purged, after which none of their files may be left.
# Installs into the running system: as root, or through sudo (./build.sh test
# runs it last).
set -euo pipefail
cd "$(dirname "$0")/.."
apt=(env DEBIAN_FRONTEND=noninteractive apt-get)
[ "$(id -u)" -ne 0 ] && apt=(sudo "${apt[@]}")

packages=(pendralumovista pendralumovista-ansage)
simulator_id=io.github.pendralumovista.Pendralumovista
scratch=$(mktemp -d)
xvfb_pid= program_pid=

fail() { echo "check_packages: $*" >&2; exit 1; }

clean_up() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  # A failed check leaves nothing installed either.
  if dpkg-query -W -f='${Status}' "${packages[@]}" 2>/dev/null | grep -q installed; then
    "${apt[@]}" purge -y -qq "${packages[@]}" >/dev/null || true
  fi
  rm -rf "$scratch"
}
trap clean_up EXIT

./build.sh deb
debs=(build-deb/pendralumovista_*.deb build-deb/pendralumovista-ansage_*.deb)

lintian --fail-on error,warning build-deb/pendralumovista_*.changes || fail "lintian found errors or warnings"

version=$(sed -n 's/^project(Pendralumovista VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
for deb in "${debs[@]}"; do
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$deb is not version $version"
done

# Without recommended packages: what the programs need must be a dependency.
"${apt[@]}" install -y -qq --no-install-recommends "${debs[@]/#/./}"
dpkg -L "${packages[@]}" > "$scratch/files"

for entry in /usr/share/applications/$simulator_id.desktop /usr/share/applications/$simulator_id.Ansage.desktop; do
  desktop-file-validate "$entry" || fail "$entry is not a valid menu entry"
done
appstreamcli validate --no-net "/usr/share/metainfo/$simulator_id.metainfo.xml" || fail "the metainfo file is not valid"
for page in "${packages[@]}"; do
  man -w "$page" >/dev/null || fail "man $page finds no manual page"
done

# The installed simulator on a virtual X server of its own, until the sign
# and the control unit are both mapped.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
[ -s "$scratch/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$scratch/display")"
/usr/bin/pendralumovista &
program_pid=$!
mapped() { [ -n "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null)" ]; }
for _ in $(seq 150); do
  kill -0 "$program_pid" 2>/dev/null || fail "the installed pendralumovista ended at start"
  mapped Form1 && mapped Form2 && break
  sleep 0.2
done
mapped Form1 && mapped Form2 || fail "the installed pendralumovista did not show both windows"
kill "$program_pid"
wait "$program_pid" 2>/dev/null || true
program_pid=

# Both answer without a display.
unset DISPLAY
[ "$(/usr/bin/pendralumovista --version)" = "pendralumovista $version" ] || fail "pendralumovista --version is not \"pendralumovista $version\""
[ -n "$(/usr/bin/pendralumovista-ansage --help)" ] || fail "pendralumovista-ansage --help printed nothing"

"${apt[@]}" purge -y -qq "${packages[@]}"
left=()
while read -r path; do
  # Folders such as /usr/share/applications belong to others as well; a
  # folder of the programs' own must go with them.
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    [[ "$path" == *pendralumovista* ]] && left+=("$path")
  elif [ -e "$path" ] || [ -L "$path" ]; then
    left+=("$path")
  fi
done < "$scratch/files"
[ ${#left[@]} -eq 0 ] || fail "left after purge: ${left[*]}"
echo "check_packages: built, lintian-clean, installed, started, answered, purged without a trace"
