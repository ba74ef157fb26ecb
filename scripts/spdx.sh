#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Puts the licence tag at the top of every tracked source, build and shell file that lacks it:
# "// SPDX-License-Identifier: GPL-3.0-or-later" on the first line of C++ files, "# ..." on the
# first line of CMake files and after the "#!" line of shell scripts. A second run changes nothing.
# usage: scripts/spdx.sh [--check]   (--check only lists the files without the tag; status 1 if any)
set -euo pipefail
cd "$(dirname "$0")/.."
check=0
[[ ${1:-} == --check ]] && check=1

tag='SPDX-License-Identifier: GPL-3.0-or-later'
missing=0
# The tag counts within the first three lines: after a shebang, or below a file's own first comment.
has_tag() { head -n 3 -- "$1" | grep -q 'SPDX-License-Identifier:'; }

while IFS= read -r -d '' file; do
  [[ -f $file && ! -L $file ]] || continue
  case $file in
    *.cpp | *.h) comment='//' ;;
    CMakeLists.txt | */CMakeLists.txt | *.cmake | *.sh) comment='#' ;;
    *) head -n 1 -- "$file" | grep -qE '^#!.*\b(ba)?sh\b' && comment='#' || continue ;;
  esac
  has_tag "$file" && continue
  missing=$((missing + 1))
  if [[ $check == 1 ]]; then
    echo "$file"
    continue
  fi
  if [[ $comment == '#' ]] && head -n 1 -- "$file" | grep -q '^#!'; then
    sed -i "1a $comment $tag" -- "$file"
  elif [[ -s $file ]]; then
    sed -i "1i $comment $tag" -- "$file"
  else
    echo "$comment $tag" >"$file"
  fi
done < <(git ls-files -z)

if [[ $check == 1 ]]; then
  [[ $missing -eq 0 ]] || { echo "$missing file(s) lack the licence tag; scripts/spdx.sh adds it"; exit 1; }
else
  echo "tagged $missing file(s)"
fi
