#!/usr/bin/env bash
# vellum-settings.exe under Wine, seen from outside.
# 1. Folders the ANSI code page cannot name (Wine takes it from the locale: C.UTF-8 gives 1252,
#    ja_JP.UTF-8 gives 932): each command, given the folder by absolute path, by relative path or
#    run from inside it, exits as in an ASCII folder, and its messages are UTF-8 naming the folder
#    as it is.
# 2. With a Linux build of the tool: the faulty fixture book gets the same findings and exit
#    codes from both, with and without --strict.
# Usage (inside tests/win32/wine-env.sh):
#   tool_test.sh TOOL_EXE WORK_DIR FIXTURE_BOOK [LINUX_TOOL]
set -euo pipefail

tool=$1
work=$2
fixture=$3
linux_tool=${4:-}
wine=${VELLUM_WINE:?run inside tests/win32/wine-env.sh}
# One Wine server for every run, so that each run starts in a fraction of a second, and Wine's
# own background programs started once here, away from the output the runs are read from.
"${VELLUM_WINESERVER:?}" -p </dev/null >/dev/null 2>&1 || true
trap '"$VELLUM_WINESERVER" -k 2>/dev/null || true' EXIT
"$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# locale | folder
folders=(
  "C.UTF-8|book"
  "C.UTF-8|Книга Café"
  "ja_JP.UTF-8|book"
  "ja_JP.UTF-8|Café"
  # ソ is 83 5C in code page 932: its trail byte is no separator.
  "ja_JP.UTF-8|ソフト"
)
# command | exit code | options | a text the output must hold | a path below the folder
commands=(
  "new|0|--title Book --start-page index.html --size 800x600|Wrote"
  "set|0|--title Chapters|Wrote"
  # A field value the encoding cannot hold is refused, by name; the folder never is.
  "set|2|--title Книга|--title: 'К' (U+041A) cannot be stored in windows-1252"
  "show|0||Title:         \"Chapters\""
  "check|0|--strict|no errors, no warnings"
  # The system's own words, in UTF-8 too.
  "new|2|--title Book --start-page index.html|cannot create a temporary file in|missing\\Vellum.ini"
)

for row in "${folders[@]}"; do
  IFS='|' read -r locale folder <<<"$row"
  export LANG=$locale LC_ALL=$locale
  for mode in absolute relative inside; do
    parent=$work/$locale/$mode
    dir=$parent/$folder
    rm -rf "$dir"
    mkdir -p "$dir"
    printf '%s\n' '<!DOCTYPE html>' '<meta http-equiv="X-UA-Compatible" content="IE=edge">' \
      '<title>Book</title><p>Vellum</p>' >"$dir/index.html"
    for command_row in "${commands[@]}"; do
      IFS='|' read -r command expected options holds below <<<"$command_row"
      read -ra extra <<<"$options"
      case $mode in
        absolute) cwd=$parent path=("Z:${dir//\//\\}") ;;
        relative) cwd=$parent path=("$folder") ;;
        inside) cwd=$dir path=(.) ;;
      esac
      if [ -n "$below" ]; then path=("${path[0]}\\$below"); fi
      # From inside, show and check take the current folder by default.
      if [ "$mode" = inside ] && [[ $command == show || $command == check ]]; then path=(); fi
      name="$locale '$folder' $mode: $command $options"
      code=0
      output=$(cd "$cwd" && "$wine" "$tool" "$command" "${path[@]}" "${extra[@]}" 2>&1) || code=$?
      output=${output//$'\r'/}
      if [ "$code" != "$expected" ]; then
        fail "$name: exit $code, not $expected: $output"
      elif ! iconv -f UTF-8 -t UTF-8 <<<"$output" >/dev/null 2>&1; then
        fail "$name: output is not UTF-8: $(od -c <<<"$output" | head -n 5)"
      elif ! grep -qF -- "$holds" <<<"$output"; then
        fail "$name: no '$holds' in: $output"
      elif [[ $mode != inside || $command == show || $command == check ]] &&
        ! grep -qF -- "$folder" <<<"$output"; then
        fail "$name: the folder is not named as it is: $output"
      else
        echo "ok: $name: exit $code"
      fi
    done
  done
done

# --- the same findings as the Linux tool -------------------------------------------------------
if [ -z "$linux_tool" ]; then
  echo "skipped: the comparison with the Linux tool (none given)"
else
  export LANG=C.UTF-8 LC_ALL=C.UTF-8
  book=$work/faulty
  rm -rf "$book"
  cp -r "$fixture" "$book"
  "$linux_tool" new "$book" --title Faulty --start-page index.html --force >/dev/null
  # The findings (file, line, severity, reference), then the exit code.
  findings() {
    python3 -c '
import json, sys
doc = json.load(sys.stdin)
for f in doc["book"]["findings"]:
    print("%s:%s: %s: %s" % (f["file"], f["line"], f["severity"], f["reference"]))
'
  }
  for strict in "" --strict; do
    linux_code=0
    linux_json=$("$linux_tool" check --json $strict "$book") || linux_code=$?
    windows_code=0
    windows_json=$(cd "$book" && "$wine" "$tool" check --json $strict) || windows_code=$?
    linux_findings=$(findings <<<"$linux_json")
    windows_findings=$(findings <<<"${windows_json//$'\r'/}")
    name="faulty book, check ${strict:-without --strict}"
    if [ "$linux_code" != "$windows_code" ]; then
      fail "$name: exit $windows_code on Windows, $linux_code on Linux"
    elif [ "$linux_findings" != "$windows_findings" ] || [ -z "$linux_findings" ]; then
      fail "$name: the findings differ:"$'\n'"$(diff <(echo "$linux_findings") <(echo "$windows_findings"))"
    else
      echo "ok: $name: exit $windows_code on both, $(wc -l <<<"$linux_findings") findings alike"
    fi
  done
fi

if [ "$failures" -gt 0 ]; then
  echo "tool test: $failures failure(s)" >&2
  exit 1
fi
echo "tool test: all checks passed"
