#!/usr/bin/env bash
# Installs the build into a temporary root with prefix /usr and checks that exactly the
# expected files land there, where a Linux desktop looks for them, and that they are sound.
#   check_install.sh BUILD_DIR APP_ID FILE...   (FILE relative to /usr)
set -euo pipefail
build=$1 app_id=$2
shift 2

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
usr=$root/usr
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# Exactly the expected files: nothing missing, nothing stray (a static library, a header).
expected=$(printf '%s\n' "$@" | sort)
found=$(cd "$usr" && find . -type f -o -type l | sed 's|^\./||' | sort)
if [ "$expected" != "$found" ]; then
  fail "installed files differ from the expected ones (< expected, > installed):"
  diff <(echo "$expected") <(echo "$found") || true
fi
[ "$(find "$root" -mindepth 1 -maxdepth 1)" = "$usr" ] || fail "files outside /usr"

for f in "$@"; do
  case $f in
    bin/*) [ -x "$usr/$f" ] || fail "/usr/$f is not executable" ;;
    share/man/*) gzip -t "$usr/$f" && zcat "$usr/$f" | grep -q '^\.TH ' || fail "/usr/$f is no manual page" ;;
    share/bash-completion/completions/*)
      bash -c "source '$usr/$f' && complete -p '${f##*/}'" >/dev/null ||
        fail "/usr/$f completes no ${f##*/}" ;;
    share/zsh/vendor-completions/_*)
      [ "$(head -1 "$usr/$f")" = "#compdef ${f##*/_}" ] || fail "/usr/$f is no zsh completion for ${f##*/_}" ;;
  esac
done

# The menu entry and the metainfo by the desktop's own validators.
desktop=$usr/share/applications/$app_id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
appstreamcli validate --no-net "$usr/share/metainfo/$app_id.metainfo.xml" ||
  fail "appstreamcli validate"

# The entry starts a program that is installed and shows an icon of the hicolor theme.
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
[ -x "$usr/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
[ -f "$usr/share/icons/hicolor/scalable/apps/$icon_name.svg" ] || fail "no scalable icon $icon_name"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" \
  "$usr/share/metainfo/$app_id.metainfo.xml" || fail "the metainfo does not launch $app_id.desktop"

# Each PNG is as large as the folder it is in says (width and height from the PNG header).
for size in 48 128 256; do
  png=$usr/share/icons/hicolor/${size}x${size}/apps/$icon_name.png
  [ -f "$png" ] || { fail "no $size px icon $icon_name"; continue; }
  header=$(od -An -tx1 -N24 "$png" | tr -d ' \n')  # signature, IHDR length and type, size
  width=${header:32:8} height=${header:40:8}
  [ "${header:0:16}" = 89504e470d0a1a0a ] || fail "$png is not a PNG"
  [ $((16#$width))x$((16#$height)) = ${size}x$size ] ||
    fail "$png is $((16#$width))x$((16#$height)), not ${size}x$size"
done

# The installed editor runs and names its version.
"$usr/bin/veltrane" --version | grep -q '^veltrane [0-9]' || fail "veltrane --version"

[ $failed = 0 ] && echo "installed tree: $# files where the desktop expects them"
exit $failed
