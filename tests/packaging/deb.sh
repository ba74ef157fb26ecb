#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a built tree and checks it without touching the system: its
# control data, the place of every file it holds, an install and purge cycle in a throwaway dpkg
# root, and a start of the packaged program that ends by closing its window.
# usage: deb.sh BUILD-DIR APP-ID VERSION SANITIZED(0|1) [CLOSEWINDOW-HELPER]
set -uo pipefail
build=$1 id=$2 version=$3 sanitized=$4 closer=${5:-}

if [[ $sanitized == 1 ]]; then
  echo "SKIP: the sanitized build is not packaged; the plain build checks the package"
  exit 77
fi

tmp=$(mktemp -d)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
die() { echo "FAIL: $*"; exit 1; }

# --- Build --------------------------------------------------------------------------------------
arch=$(dpkg --print-architecture)
cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 \
  || { cat "$tmp/cpack.log"; die "cpack failed"; }
deb=$tmp/out/tonfolio_${version}_${arch}.deb
[[ -f $deb ]] || { ls "$tmp/out"; die "cpack made no $(basename "$deb")"; }
echo "built $(basename "$deb")"

# --- Control data -------------------------------------------------------------------------------
field() { dpkg-deb --field "$deb" "$1"; }
while IFS='|' read -r name want; do
  got=$(field "$name")
  [[ $got == "$want" ]] || fail "control field $name is '$got', expected '$want'"
done <<EOT
Package|tonfolio
Version|$version
Architecture|$arch
Section|sound
EOT

depends=$(field Depends)
echo "Depends: $depends"
# The package names of Depends, one a line, without versions and alternatives' bars.
dep_names=$(sed 's/([^)]*)//g; s/[|,]/\n/g' <<<"$depends" | tr -d ' ')
# The Qt widgets come from dpkg-shlibdeps, the SVG icon engine plugin is named by hand.
for pkg in libqt6widgets6 libqt6svg6; do
  grep -qxF "$pkg" <<<"$dep_names" || fail "Depends lacks $pkg"
done
grep -qE 'lib(asan|ubsan)|-dev( |,|$)' <<<"$depends" && fail "Depends names a sanitizer or -dev package"

# Every dependency must be satisfiable here (the package was built on the target distribution):
# for each alternative list, one installed package of a fitting version.
satisfied() {
  local alt name op ver have
  IFS='|' read -ra alts <<<"${1// | /|}"
  for alt in "${alts[@]}"; do
    if [[ $alt =~ ^([^ ]+)(\ \(([<>=]+)\ ([^\)]+)\))?$ ]]; then
      name=${BASH_REMATCH[1]} op=${BASH_REMATCH[3]} ver=${BASH_REMATCH[4]}
      have=$(dpkg-query -W -f='${db:Status-Abbrev}|${Version}\n' "$name" 2>/dev/null | grep -m1 '^ii') \
        || continue
      have=${have#*|}
      [[ -z $op ]] && return 0
      case $op in '>>') op=gt ;; '<<') op=lt ;; '>=') op=ge ;; '<=') op=le ;; '=') op=eq ;; esac
      dpkg --compare-versions "$have" "$op" "$ver" && return 0
    fi
  done
  return 1
}
IFS=',' read -ra deps <<<"$depends"
for dep in "${deps[@]}"; do
  dep=$(sed 's/^ *//;s/ *$//' <<<"$dep")
  satisfied "$dep" || fail "dependency '$dep' is not satisfied on this machine"
done

# No maintainer scripts: nothing is created at install time, so removal leaves nothing behind.
mkdir -p "$tmp/control"
dpkg-deb --control "$deb" "$tmp/control"
extra=$(ls "$tmp/control" | grep -vxE 'control|md5sums|conffiles')
[[ -z $extra ]] || fail "unexpected control members: $extra"

# --- File list ----------------------------------------------------------------------------------
root=$tmp/root
dpkg-deb -x "$deb" "$root"
expected=(
  "usr/bin/tonfolio|755"
  "usr/share/applications/$id.desktop|644"
  "usr/share/metainfo/$id.metainfo.xml|644"
  "usr/share/icons/hicolor/scalable/apps/$id.svg|644"
  "usr/share/doc/tonfolio/copyright|644"
  "usr/share/doc/tonfolio/changelog.gz|644"
  "usr/share/man/man1/tonfolio.1.gz|644"
)
for size in 16 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$id.png|644")
done
for entry in "${expected[@]}"; do
  path=${entry%|*} mode=${entry#*|}
  if [[ ! -f $root/$path ]]; then
    fail "package lacks /$path"
  elif [[ $(stat -c %a "$root/$path") != "$mode" ]]; then
    fail "/$path has mode $(stat -c %a "$root/$path"), expected $mode"
  fi
done
# Nothing else: no headers, static libraries or test programs of the build.
# A lookup table, not a pipe into grep -q: under pipefail an early match ends the pipe with SIGPIPE.
declare -A known=()
for entry in "${expected[@]}"; do known[${entry%|*}]=1; done
while IFS= read -r path; do
  [[ -n ${known[$path]:-} ]] || fail "package holds unexpected /$path"
done < <(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | sort)
# Directories of a Debian package belong to root and are world-readable.
bad_dirs=$(dpkg-deb -c "$deb" | awk '/^d/ && ($1 != "drwxr-xr-x" || $2 != "root/root")')
[[ -z $bad_dirs ]] || fail "directories with odd owner or mode: $bad_dirs"

for size in 16 32 48 64 128 256; do
  png=$root/usr/share/icons/hicolor/${size}x${size}/apps/$id.png
  [[ -f $png ]] || continue
  grep -q "^PNG image data, $size x $size," <<<"$(file -b "$png")" \
    || fail "$(basename "$(dirname "$(dirname "$png")")") icon is $(file -b "$png")"
done
grep -q 'ELF.*, stripped' <<<"$(file -b "$root/usr/bin/tonfolio")" || fail "the executable is not a stripped ELF file"
# Every shared library the executable needs comes from a package named in Depends.
while IFS= read -r soname; do
  lib=$(ldconfig -p | awk -v s="$soname" '$1 == s && /x86-64/ {print $NF; exit}')
  [[ -n $lib ]] || lib=$(ldconfig -p | awk -v s="$soname" '$1 == s {print $NF; exit}')
  [[ -n $lib ]] || { fail "$soname, needed by the executable, is not installed here"; continue; }
  owner=$(dpkg -S "$(readlink -f "$lib")" 2>/dev/null | head -n1 | cut -d: -f1)
  [[ -n $owner ]] || owner=$(dpkg -S "$lib" 2>/dev/null | head -n1 | cut -d: -f1)
  grep -qxF "$owner" <<<"$dep_names" || fail "$soname comes from $owner, which Depends lacks"
done < <(objdump -p "$root/usr/bin/tonfolio" | awk '$1 == "NEEDED" {print $2}')
for f in "usr/share/applications/$id.desktop" "usr/share/metainfo/$id.metainfo.xml"; do
  cmp -s "$root/$f" "$build/packaging/$(basename "$f")" || fail "/$f differs from the validated file"
done

# --- The desktop entry as GLib's GIO reads it ---------------------------------------------------
# GNOME-like desktops list a program in the menu and under "Open with" only if GIO accepts its entry
# (desktop-file-validate does not check TryExec's form): here the installed entry, with the packaged
# program on PATH, must be offered for a folder and for a wave file. The MIME index is made as the
# install's trigger of desktop-file-utils makes it.
mkdir -p "$tmp/gio/home" "$tmp/gio/pack" "$tmp/gio/share/applications"
cp "$root/usr/share/applications/$id.desktop" "$tmp/gio/share/applications/"
update-desktop-database -q "$tmp/gio/share/applications" || fail "update-desktop-database refuses the entry"
printf 'RIFF\054\000\000\000WAVEfmt \020\000\000\000\001\000\001\000\100\037\000\000\100\037\000\000\001\000\010\000data\010\000\000\000\200\200\200\200\200\200\200\200' \
  >"$tmp/gio/pack/kick.wav"
gio_out=$(env -i PATH="$root/usr/bin:/usr/bin:/bin" HOME="$tmp/gio/home" XDG_DATA_HOME="$tmp/gio/home/share" \
  XDG_CONFIG_HOME="$tmp/gio/home/config" XDG_DATA_DIRS="$tmp/gio/share:/usr/share" GIO_USE_VFS=local \
  /usr/bin/python3 - "$tmp/gio/share/applications/$id.desktop" "$id.desktop" "$tmp/gio/pack" \
  "$tmp/gio/pack/kick.wav" 2>&1 <<'PY'
import sys
import gi
gi.require_version("Gio", "2.0")
from gi.repository import Gio

entry, desktop_id, *paths = sys.argv[1:]
try:
    app = Gio.DesktopAppInfo.new_from_filename(entry)
except TypeError:  # the bindings raise where GIO returns no entry
    app = None
if app is None:
    sys.exit("GIO refuses the desktop entry")
if not app.supports_files():
    sys.exit("the entry takes no files")
for path in paths:
    kind = Gio.File.new_for_path(path).query_info("standard::content-type", Gio.FileQueryInfoFlags.NONE, None)
    kind = kind.get_content_type()
    offered = [a.get_id() for a in Gio.AppInfo.get_all_for_type(kind)]
    if desktop_id not in offered:
        sys.exit(f"not offered for {path} ({kind}), only {offered}")
    print(f"offered for {kind}")
PY
) || fail "GIO: $gio_out"
echo "$gio_out"

# The history's latest entry is this version, and the copyright file names the licence.
top=$(gzip -dc "$root/usr/share/doc/tonfolio/changelog.gz" 2>/dev/null | head -n1)
[[ $top == "tonfolio ($version) "* ]] || fail "the changelog's latest entry is '$top', not version $version"
grep -qx 'License: GPL-3+' "$root/usr/share/doc/tonfolio/copyright" || fail "the copyright file names no GPL-3+"
# The manual page renders without a complaint of groff and tells this version.
man_out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/tonfolio.1.gz" 2>&1 >/dev/null)
[[ -z $man_out ]] || fail "the manual page draws warnings: $man_out"
zgrep -q "^\.TH TONFOLIO 1 .*\"Tonfolio $version\"" "$root/usr/share/man/man1/tonfolio.1.gz" \
  || fail "the manual page does not name version $version"

# Debian's own check of the package: every error and warning fails (infos are advice).
if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$deb" >"$tmp/lintian.log" 2>&1 \
    || { grep -v 'root privileges' "$tmp/lintian.log"; fail "lintian reports errors or warnings"; }
else
  fail "lintian is not installed (scripts/deps.sh installs it)"
fi

# --- Install and purge in a throwaway dpkg root -------------------------------------------------
# Dependencies are not part of this root, hence --force-depends; nothing here reaches the system.
droot=$tmp/dpkgroot
mkdir -p "$droot/var/lib/dpkg/info" "$droot/var/lib/dpkg/updates"
touch "$droot/var/lib/dpkg/status"
dpkgr() { dpkg --root="$droot" --log=/dev/null --force-depends "$@" >>"$tmp/dpkg.log" 2>&1; }
if dpkgr -i "$deb"; then
  [[ -x $droot/usr/bin/tonfolio ]] || fail "dpkg -i did not install /usr/bin/tonfolio"
  dpkgr -P tonfolio || { cat "$tmp/dpkg.log"; fail "dpkg -P failed"; }
  left=$(cd "$droot" && find . -mindepth 1 ! -path './var/lib/dpkg' ! -path './var/lib/dpkg/*' \
         ! -path ./var ! -path ./var/lib)
  [[ -z $left ]] || fail "left behind after purge: $left"
else
  cat "$tmp/dpkg.log"
  fail "dpkg -i into a throwaway root failed"
fi

# --- The packaged program starts ----------------------------------------------------------------
# A private home and a temporary drive C: keep the run away from the user's files and settings.
# It starts in that drive's root, which then is its current folder. An inherited runtime folder
# is kept: it is where the sound server of the test run listens.
mkdir -p "$tmp/home" "$tmp/runtime" "$tmp/drive"
chmod 700 "$tmp/runtime"
run_env=(env -C "$tmp/drive" HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config"
         XDG_DATA_HOME="$tmp/home/.local/share" XDG_CACHE_HOME="$tmp/home/.cache"
         XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$tmp/runtime}" TONFOLIO_DRIVES="C=$tmp/drive")
exe=$root/usr/bin/tonfolio

# --help and --version answer without any display.
for option in --help --version; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 10 "${run_env[@]}" "$exe" "$option" 2>&1) \
    || fail "tonfolio $option without a display ended with status $?: $out"
done
grep -qx "Tonfolio $version" <<<"$out" || fail "tonfolio --version printed '$out'"

# Offscreen: it must still be running after two seconds and end on SIGTERM, not by a crash.
"${run_env[@]}" QT_QPA_PLATFORM=offscreen "$exe" >"$tmp/offscreen.log" 2>&1 &
pid=$!
pids+=("$pid")
sleep 2
if kill -0 "$pid" 2>/dev/null; then
  kill -TERM "$pid"
  wait "$pid"; rc=$?
  [[ $rc -eq 143 || $rc -eq 0 ]] || { cat "$tmp/offscreen.log"; fail "offscreen run ended with status $rc on SIGTERM"; }
else
  wait "$pid"; rc=$?
  cat "$tmp/offscreen.log"
  fail "offscreen run ended by itself within 2 s with status $rc"
fi

# Under Xvfb: closing the main window the way a window manager does ends the program with 0.
if [[ -z $closer ]] || ! command -v Xvfb >/dev/null || ! command -v xdotool >/dev/null; then
  fail "the window-close check needs Xvfb, xdotool and the closewindow helper (X11 headers)"
else
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$tmp/display" 2>"$tmp/xvfb.log" &
  pids+=("$!")
  for _ in $(seq 100); do [[ -s $tmp/display ]] && break; sleep 0.1; done
  display=:$(head -n1 "$tmp/display")
  if [[ $display == : ]]; then
    cat "$tmp/xvfb.log"
    fail "Xvfb did not start"
  else
    "${run_env[@]}" DISPLAY="$display" QT_QPA_PLATFORM=xcb "$exe" >"$tmp/x11.log" 2>&1 &
    pid=$!
    pids+=("$pid")
    window=$(DISPLAY="$display" timeout 20 xdotool search --sync --onlyvisible --name '^Tonfolio' 2>/dev/null | head -n1)
    if [[ -z $window ]]; then
      cat "$tmp/x11.log"
      fail "no window titled Tonfolio appeared within 20 s"
    else
      DISPLAY="$display" "$closer" "$window" || fail "could not send the close request"
      for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      if kill -0 "$pid" 2>/dev/null; then
        cat "$tmp/x11.log"
        fail "the program still runs 10 s after its window was closed"
      else
        wait "$pid"; rc=$?
        [[ $rc -eq 0 ]] || { cat "$tmp/x11.log"; fail "the program exited with status $rc after its window was closed"; }
      fi
    fi
  fi
fi

if [[ $failures -ne 0 ]]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "the package is complete, installs and purges cleanly, and its program starts and closes"
