#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Validates the generated desktop entry and AppStream metainfo and checks that they agree with each
# other and with the project's version.
# usage: validate.sh DIR APP-ID VERSION   (DIR holds APP-ID.desktop and APP-ID.metainfo.xml)
set -uo pipefail
dir=$1 id=$2 version=$3
desktop=$dir/$id.desktop
metainfo=$dir/$id.metainfo.xml
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for f in "$desktop" "$metainfo"; do
  [[ -f $f ]] || { echo "FAIL: $f is missing (was the project configured?)"; exit 1; }
done

# Errors and warnings fail; hints (style advice) do not.
out=$(desktop-file-validate "$desktop" 2>&1); rc=$?
echo "$out"
if [[ $rc -ne 0 ]] || grep -qE '(error|warning):' <<<"$out"; then
  fail "desktop-file-validate rejects $desktop"
fi

out=$(appstreamcli validate --no-net "$metainfo" 2>&1); rc=$?
echo "$out"
if [[ $rc -ne 0 ]] || grep -qE '^[EW]:' <<<"$out"; then
  fail "appstreamcli rejects $metainfo"
fi

# Keys of the desktop entry's main group, one per line as key=value.
entry() { sed -n '/^\[Desktop Entry\]/,/^\[/p' "$desktop" | grep -m1 "^$1=" | cut -d= -f2-; }
while IFS='|' read -r key want; do
  got=$(entry "$key")
  [[ $got == "$want" ]] || fail "desktop entry $key is '$got', expected '$want'"
done <<EOT
Type|Application
Name|Tonfolio
Icon|$id
Exec|tonfolio %f
TryExec|tonfolio
Categories|AudioVideo;Audio;Player;
MimeType|inode/directory;audio/x-wav;audio/wav;audio/vnd.wave;
Terminal|false
EOT
for key in GenericName Comment; do
  [[ -n $(entry "$key") ]] || fail "desktop entry has no $key"
done
# Nothing of the program's version belongs in the entry (its Version key is the format's).
grep -v '^Version=' "$desktop" | grep -qF "$version" && fail "desktop entry mentions the program version $version"

# The metainfo names the same component and launcher, and releases the project's version.
xml() { grep -oE "$1" "$metainfo" | head -n1; }
while IFS='|' read -r pattern what; do
  [[ -n $(xml "$pattern") ]] || fail "metainfo lacks $what"
done <<EOT
<id>$id</id>|the id $id
<launchable type="desktop-id">$id\.desktop</launchable>|the launchable $id.desktop
<release version="$version" date="[0-9]{4}-[0-9]{2}-[0-9]{2}"|a dated release $version
<screenshot type="default">|a default screenshot
<image>https://[^<]+</image>|a screenshot image address
<content_rating type="oars-1\.[01]"|a content rating
<binary>tonfolio</binary>|the binary it provides
EOT

if [[ $failures -ne 0 ]]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "desktop entry and metainfo are valid"
