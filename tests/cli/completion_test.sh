#!/usr/bin/env bash
# veltrane-ctl's shell completion: the bash function answers as bash would call it for a
# table of command lines; the zsh function answers TAB in an interactive zsh when zsh is
# installed.
#   completion_test.sh COMPLETION_DIR
set -uo pipefail
dir=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# shellcheck source=/dev/null
source "$dir/veltrane-ctl.bash"
complete -p veltrane-ctl >/dev/null || fail "no completion registered for veltrane-ctl"

ports=$(mktemp -d)
trap 'rm -rf "$ports"' EXIT
touch "$ports/ttyFAKE0" "$ports/ttyFAKE1" "$ports/other"
mkdir "$ports/rack"

# Completes the last word of a command line the way bash splits it (at "=" too) and
# prints the candidates sorted, one a line.
complete_line() {
  local line=$1
  line=${line//=/ = }
  read -ra COMP_WORDS <<<"veltrane-ctl $line"
  [[ $1 == *" " || -z $1 || $1 == *= ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _veltrane_ctl
  printf '%s\n' "${COMPREPLY[@]}" | sort
}

expect() {
  local line=$1 want
  want=$(printf '%s\n' "${@:2}" | sort)
  local got
  got=$(complete_line "$line")
  [ "$got" = "$want" ] || fail "'veltrane-ctl $line': got [$(echo $got)], want [$(echo $want)]"
}

expect "ba" backup backup-all
expect "--port $ports/x restore" restore restore-all
expect "--po" --port
expect "--port $ports/tty" "$ports/ttyFAKE0" "$ports/ttyFAKE1"
expect "--port=$ports/ttyFAKE1" "$ports/ttyFAKE1"
expect "--port=$ports/ttyFAKE0 ports --pr" --probe
expect "--port $ports/ttyFAKE0 scan --re" --reply-ms
expect "--port $ports/ttyFAKE0 scan --ra" --range
expect "--port $ports/ttyFAKE0 --device 3 backup-all $ports/ra" "$ports/rack"
expect "--port $ports/ttyFAKE0 align out1 out" out1 out2 out3 out4
expect "fit out1 m.txt --smooth 1/1" 1/1 1/12
expect "--port $ports/ttyFAKE0 set out1 li" limiter
# A serial device of the system is offered for an empty --port when there is one.
for device in /dev/ttyS0 /dev/ttyUSB0 /dev/ttyACM0; do
  if [ -e "$device" ]; then
    complete_line "--port " | grep -qx "$device" || fail "--port does not offer $device"
    break
  fi
done

# scripts/install-deps.sh brings zsh: without it the zsh half would pass untried.
if ! command -v zsh >/dev/null; then
  fail "zsh is not installed (scripts/install-deps.sh installs it)"
else
  # The zsh function parses, and compinit takes it for veltrane-ctl.
  zsh -n "$dir/_veltrane-ctl" || fail "zsh: _veltrane-ctl does not parse"
  zsh -f -c "fpath=('$dir' \$fpath); autoload -Uz compinit; compinit -u -D;
             [[ \${_comps[veltrane-ctl]} == _veltrane-ctl ]]" ||
    fail "zsh: compinit does not register _veltrane-ctl for veltrane-ctl"
  (cd "$ports" && zsh -f "$here/completion_test.zsh" "$dir" "$ports") || failed=1
fi

[ $failed = 0 ] && echo "completion: all cases answered"
exit $failed
