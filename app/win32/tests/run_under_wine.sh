#!/usr/bin/env bash
# Runs one Windows program under Wine on a private Xvfb display and passes on
# its exit code. With --init it makes the Wine prefix anew instead.
#
#   run_under_wine.sh --wine W --wineserver S --xvfb X --import I --prefix P
#                     --work D --shots D --timeout SECONDS (--init | -- PROGRAM ARGS...)
#
# Wine is kept quiet and non-interactive: no debug output, no offer to install
# Mono or Gecko. A program that prints "@@korvel-screenshot NAME" gets the
# screen saved as <shots>/NAME with ImageMagick's import and is answered with
# one line on its standard input ("ok" or "failed"). Everything is bounded by
# the timeout, so a hung program fails the test instead of stopping it.
set -u

wine="" wineserver="" xvfb="" import="" prefix="" work="" shots="" limit=300 init=0
while [ $# -gt 0 ]; do
  case $1 in
    --wine) wine=$2; shift 2 ;;
    --wineserver) wineserver=$2; shift 2 ;;
    --xvfb) xvfb=$2; shift 2 ;;
    --import) import=$2; shift 2 ;;
    --prefix) prefix=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --shots) shots=$2; shift 2 ;;
    --timeout) limit=$2; shift 2 ;;
    --init) init=1; shift ;;
    --) shift; break ;;
    *) echo "run_under_wine.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done

mkdir -p "$work" || exit 1
run=$(mktemp -d "$work/run.XXXXXX") || exit 1

export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The operators' systems are Korean: Wine takes the ANSI code page (949) from
# the locale's name, installed or not. Given to Wine alone.
wine_locale=ko_KR.UTF-8

xvfb_pid=""
program_pid=""
cleanup() {
  exec 4>&- 5<&-
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  # Only this prefix's wineserver, and only the Xvfb started here.
  [ -d "$prefix" ] && timeout 30 "$wineserver" -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$run"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number to the fifo; if it dies
# first, the read sees the end of the fifo instead.
mkfifo "$run/display" || exit 1
"$xvfb" -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$run/display" \
  >"$run/xvfb.log" 2>&1 &
xvfb_pid=$!
display=""
read -r display <"$run/display"
if [ -z "$display" ]; then
  echo "run_under_wine.sh: Xvfb did not start:" >&2
  cat "$run/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$display"

if [ "$init" = 1 ]; then
  [ -d "$prefix" ] && timeout 30 "$wineserver" -k 2>/dev/null
  rm -rf "$prefix"
  # One desktop window of Wine's own, so that windows get their frame and
  # caption drawn (there is no window manager on Xvfb).
  if ! { timeout --kill-after=10 "$limit" env LC_ALL=$wine_locale "$wine" wineboot --init &&
      env LC_ALL=$wine_locale "$wine" reg add 'HKCU\Software\Wine\Explorer' \
        /v Desktop /d Default /f &&
      env LC_ALL=$wine_locale "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' \
        /v Default /d 1024x768 /f &&
      timeout --kill-after=10 "$limit" "$wineserver" --wait; } >"$run/init.log" 2>&1; then
    echo "run_under_wine.sh: making the Wine prefix failed or timed out:" >&2
    cat "$run/init.log" >&2
    exit 1
  fi
  echo "Wine prefix made in $prefix"
  exit 0
fi

if [ ! -d "$prefix" ]; then
  echo "run_under_wine.sh: no Wine prefix at $prefix (the win32_wine_prefix test makes it)" >&2
  exit 1
fi
if [ $# -lt 1 ]; then
  echo "run_under_wine.sh: no program given" >&2
  exit 2
fi

# The program talks to this script through two fifos: its output comes back
# here line by line, answers go to its input.
mkfifo "$run/in" "$run/out" || exit 1
export KORVEL_SCREENSHOTS=1
timeout --kill-after=10 "$limit" env LC_ALL=$wine_locale "$wine" "$@" <"$run/in" >"$run/out" 2>&1 &
program_pid=$!
exec 4>"$run/in" 5<"$run/out"

while IFS= read -r line <&5; do
  line=${line%$'\r'}
  case $line in
    "@@korvel-screenshot "*)
      name=${line#"@@korvel-screenshot "}
      if "$import" -window root "$shots/$name"; then
        echo "screenshot saved: $shots/$name"
        echo ok >&4
      else
        echo failed >&4
      fi
      ;;
    *) printf '%s\n' "$line" ;;
  esac
done
wait "$program_pid"
status=$?
program_pid=""
if [ "$status" = 124 ] || [ "$status" = 137 ]; then
  echo "run_under_wine.sh: $1 did not finish within $limit seconds" >&2
fi
exit "$status"
