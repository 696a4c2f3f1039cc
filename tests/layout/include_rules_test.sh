#!/usr/bin/env bash
# The include check: the source tree keeps to its folders' rules, and a tree that breaks
# them (Qt in the core, a folder the README does not name, a platform header elsewhere)
# is refused with the file named.
set -uo pipefail
check=${1:?usage: include_rules_test.sh CHECK_SCRIPT SRC_DIR}
src=${2:?}
failed=0
fail() { echo "FAIL: $*"; failed=1; }

"$check" "$src" || fail "the source tree breaks its own include rules"

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/core" "$tree/gui" "$tree/other"
printf 'Include rule: folders other; qt no; platform posix.cc\n' >"$tree/core/README.md"
printf 'Include rule: folders core; qt yes; platform no\n' >"$tree/gui/README.md"
printf 'Include rule: folders; qt no; platform no\n' >"$tree/other/README.md"
printf '#include "other/a.h"\n#include <vector>\n' >"$tree/core/fine.cc"
printf '#include <unistd.h>\n' >"$tree/core/posix.cc"
printf '#include "core/fine.h"\n#include <QWidget>\n' >"$tree/gui/window.cc"
"$check" "$tree" >/dev/null || fail "a tree that keeps its rules is refused"

expect_refused() {  # FILE CONTENT MESSAGE
  printf '%b' "$2" >"$tree/$1"
  local out
  out=$("$check" "$tree") && fail "$1 ($2) passes"
  grep -qF "$3" <<<"$out" || fail "$1: expected \"$3\", got: $out"
  rm "$tree/$1"
}
expect_refused core/qt.h '#include <QString>\n' "core/qt.h: includes <QString>"
expect_refused core/up.cc '#include "gui/window.h"\n' "core/up.cc: includes \"gui/window.h\""
expect_refused other/x.cc '  #  include "core/fine.h"\n' "other/x.cc: includes \"core/fine.h\""
expect_refused gui/sys.cc '#include <sys/stat.h>\n' "gui/sys.cc: includes <sys/stat.h>"
rm "$tree/other/README.md"
printf "int x;\n" >"$tree/other/x.cc"
out=$("$check" "$tree") && fail "a README without its rule passes"
grep -qF 'other/README.md: no "Include rule:" line' <<<"$out" || fail "no rule: got $out"

[ $failed = 0 ] && echo "include rules: the tree keeps them and a broken tree is refused"
exit $failed
