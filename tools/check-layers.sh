#!/usr/bin/env bash
# Fails when a source file includes a header of a folder its library does not build on. The
# engine's folders are layered (each one names the folders below it that it may use); the
# windows on top may use every engine folder. CMake links the same graph (CMakeLists.txt).
set -euo pipefail
cd "$(dirname "$0")/.."
declare -A below=(
  [core]=""
  [files]="core"
  [regedit4]="core"
  [creg]="regedit4"
  [disk]="core"
  [fat]="disk"
  [journal]="disk"
  [machine]="files disk fat journal"
  [registry]="machine creg"
  [profile]="machine"
  [config]="registry profile"
  [ui]="config"
)
for window in app ports tweaks buffers modeminfo bandwidth cli; do below[$window]="ui app ports tweaks buffers modeminfo bandwidth cli"; done

# Every folder a folder may include: itself and everything below it, however deep.
reach() {
  local todo=("$1") seen=" $1 "
  while ((${#todo[@]})); do
    local folder=${todo[0]}
    todo=("${todo[@]:1}")
    for next in ${below[$folder]}; do
      [[ $seen == *" $next "* ]] && continue
      seen+="$next "
      todo+=("$next")
    done
  done
  echo "$seen"
}

status=0
for folder in "${!below[@]}"; do
  allowed=$(reach "$folder")
  while IFS=: read -r file line text; do
    used=$(sed -E 's/^#include "([^/"]+)\/.*/\1/' <<<"$text")
    if [[ $allowed != *" $used "* ]]; then
      echo "$file:$line: $folder/ may not include $used/ ($text)"
      status=1
    fi
  done < <(grep -H -n -E '^#include "[^/"]+/' "$folder"/*.cpp "$folder"/*.h 2>/dev/null || true)
done
[ $status = 0 ] && echo "layers: every include points down"
exit $status
