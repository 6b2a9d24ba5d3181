#!/usr/bin/env bash
# The shipped Vellum.exe under Wine in readers' locales, seen from outside. Wine takes the ANSI code
# page from the locale (C.UTF-8: 1252, ja_JP.UTF-8: 932). Each case copies the program under a
# file name of its own into a folder of its own, writes the settings there in that code page (or
# none), starts the program in that locale and expects a window with the configured title, or a
# message box with its caption and text.
# Usage (inside tests/win32/wine-env.sh, on an X display):
#   locale_test.sh VELLUM_EXE PROBE_EXE WORK_DIR
set -euo pipefail

source "$(dirname "$0")/wine_common.sh"

# Waits up to 20 s for the program to end, then ends it.
wait_exit() {
  for _ in $(seq 200); do
    kill -0 "$viewer_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$viewer_pid" 2>/dev/null || true
  wait "$viewer_pid" 2>/dev/null || true
}

# locale | folder | program file | title stored in the settings ("-": no settings file)
#   | what the reader sees: "window" or "box:<text>" | title of the window, or caption of the box
cases=(
  # A folder the code page cannot name: the settings are found all the same.
  "C.UTF-8|Книга|Vellum.exe|Vellum Book|window|Vellum Book"
  "ja_JP.UTF-8|Café|Vellum.exe|Vellum Book|window|Vellum Book"
  # ソ is 83 5C in code page 932: the program's folder is not cut at its trail byte.
  "ja_JP.UTF-8|本|ソフト.exe|ソフトの本|window|ソフトの本"
  # チ is 83 60 in code page 932: its trail byte does not split the fields.
  "ja_JP.UTF-8|book|Vellum.exe|チーズ|window|チーズ"
  # The caption: the name lowered by the system's rules, character by character.
  "ja_JP.UTF-8|book|ソフトウェア.exe|-|box:Config file error.|ソフトウェア"
  "C.UTF-8|book|VÉLUM.EXE|-|box:Config file error.|Vélum"
)

for row in "${cases[@]}"; do
  IFS='|' read -r locale folder program title expect shown <<<"$row"
  name="$locale $folder $program"
  dir="$work/$locale/$folder"
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$exe" "$dir/$program"
  echo '<html><body>Vellum</body></html>' >"$dir/index.html"
  export LANG=$locale LC_ALL=$locale
  if [ "$title" != - ]; then
    "$wine" "$probe" settings "$(winepath_of "$dir/Vellum.ini")" 600 800 index.html "$title" 1
  fi
  (cd "$dir" && exec "$wine" "$dir/$program") &
  viewer_pid=$!
  if [ "$expect" = window ]; then
    if id=$(wait_window "$shown"); then
      echo "ok: $name: window '$shown'"
      xdotool windowactivate --sync "$id" >/dev/null 2>&1 || true
      xdotool key --clearmodifiers alt+F4
    else
      fail "$name: no window titled '$shown'"
      echo "  seen instead: $("$wine" "$probe" box "" 1 2>/dev/null | tr -d '\r' | tr '\n' ' ')" >&2
    fi
  else
    if seen=$("$wine" "$probe" box "$shown" 20 | tr -d '\r'); then
      echo "ok: $name: message box '$shown': $(tr '\n' ' ' <<<"$seen")"
      grep -qxF "text=${expect#box:}" <<<"$seen" || fail "$name: the box says: $seen"
      if box=$(wait_window "$shown"); then
        xdotool windowactivate --sync "$box" >/dev/null 2>&1 || true
        xdotool key --clearmodifiers Return
      fi
    else
      fail "$name: no message box captioned '$shown'"
    fi
  fi
  wait_exit
done

if [ "$failures" -gt 0 ]; then
  echo "locale test: $failures failure(s)" >&2
  exit 1
fi
echo "locale test: all checks passed"
