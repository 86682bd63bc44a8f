#!/usr/bin/env bash
# Runs one Windows program under Wine on a private Xvfb display and passes on
# its exit code. With --init it makes the Wine prefix anew instead.
#
#   run_under_wine.sh --wine W --wineserver S --xvfb X --import I --prefix P
#                     --work D --shots D --timeout SECONDS (--init | -- PROGRAM ARGS...)
#
# A program that prints "@@korvel-screenshot NAME" gets the screen saved as
# <shots>/NAME with ImageMagick's import and is answered with one line on its
# standard input ("ok" or "failed"). Every step is bounded by the timeout, so
# a hung program fails the test instead of stopping it.
set -u

wine="" wineserver="" xvfb="" import="" prefix="" work="" shots="" timeout="" init=0
while [ $# -gt 0 ]; do
  case $1 in
    --wine | --wineserver | --xvfb | --import | --prefix | --work | --shots | --timeout)
      printf -v "${1#--}" %s "${2-}"; shift 2 || { echo "run_under_wine.sh: $1 needs a value" >&2; exit 2; } ;;
    --init) init=1; shift ;;
    --) shift; break ;;
    *) echo "run_under_wine.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
for option in wine wineserver xvfb import prefix work shots timeout; do
  [ -n "${!option:-}" ] || { echo "run_under_wine.sh: --$option missing" >&2; exit 2; }
done

mkdir -p "$work" && run=$(mktemp -d "$work/run.XXXXXX") || exit 1
# Quiet and non-interactive: no debug output, no offer to install Mono or Gecko.
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The operators' systems are Korean: Wine takes the ANSI code page (949) from
# the locale's name, installed or not. Given to Wine alone.
in_wine() { timeout --kill-after=10 "$timeout" env LC_ALL=ko_KR.UTF-8 "$wine" "$@"; }

xvfb_pid="" program_pid=""
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
"$xvfb" -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$run/display" >"$run/xvfb.log" 2>&1 &
xvfb_pid=$!
if ! read -r -t 60 display <"$run/display" || [ -z "$display" ]; then
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
  if ! { in_wine wineboot --init &&
      in_wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f &&
      in_wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f &&
      timeout --kill-after=10 "$timeout" "$wineserver" --wait; } >"$run/init.log" 2>&1; then
    echo "run_under_wine.sh: making the Wine prefix failed or timed out:" >&2
    cat "$run/init.log" >&2
    exit 1
  fi
  echo "Wine prefix made in $prefix"
  exit 0
fi

[ -d "$prefix" ] || { echo "run_under_wine.sh: no Wine prefix at $prefix" >&2; exit 1; }
[ $# -gt 0 ] || { echo "run_under_wine.sh: no program given" >&2; exit 2; }

# The program's output comes back here line by line through one fifo, the
# answers go to its input through the other.
mkfifo "$run/in" "$run/out" || exit 1
KORVEL_SCREENSHOTS=1 in_wine "$@" <"$run/in" >"$run/out" 2>&1 &
program_pid=$!
exec 4>"$run/in" 5<"$run/out"
while IFS= read -r line <&5; do
  line=${line%$'\r'}
  case $line in
    "@@korvel-screenshot "*)
      name=${line#"@@korvel-screenshot "}
      if timeout 60 "$import" -window root "$shots/$name"; then
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
  echo "run_under_wine.sh: $1 did not finish within $timeout seconds" >&2
fi
exit "$status"
