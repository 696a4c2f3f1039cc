#!/usr/bin/env bash
# Every source file in SRC/<folder>/ may include only what its folder's README allows, as
# its "Include rule:" line says:
#   Include rule: folders model protocol/frame_codec.h; qt no; platform no
# folders: other folders of SRC (or single headers of them) it may include; qt: yes or no
# (<Q...> headers); platform: yes, no, or the file names that may include <....h> headers
# (POSIX, hidapi). Prints each file that breaks its rule and exits 1 if any does.
set -uo pipefail

src=${1:?usage: check-includes.sh SRC_DIR}
status=0

for folder_dir in "$src"/*/; do
  folder_dir=${folder_dir%/}
  folder=$(basename "$folder_dir")
  readme=$folder_dir/README.md
  [ -n "$(find "$folder_dir" -maxdepth 1 \( -name '*.cc' -o -name '*.h' \) -print -quit)" ] || continue
  rule=$(grep -m1 '^Include rule:' "$readme" 2>/dev/null | sed 's/^Include rule:[[:space:]]*//')
  if [ -z "$rule" ]; then
    echo "$folder/README.md: no \"Include rule:\" line"
    status=1
    continue
  fi
  folders=$(sed -n 's/.*folders\([^;]*\).*/\1/p' <<<"$rule")
  qt=$(sed -n 's/.*qt \([a-z]*\).*/\1/p' <<<"$rule")
  platform=$(sed -n 's/.*platform \([^;]*\).*/\1/p' <<<"$rule")

  include_re='^[[:space:]]*#[[:space:]]*include[[:space:]]*([<"])([^">]*)[">]'
  while IFS= read -r hit; do
    file=${hit%%:*}
    line=${hit#*:}
    name=${file##*/}
    [[ $line =~ $include_re ]] || continue
    quote=${BASH_REMATCH[1]}
    header=${BASH_REMATCH[2]}
    if [ "$quote" = '"' ]; then
      top=${header%%/*}
      [ "$top" = "$header" ] && continue  # a file beside it
      [ "$top" = "$folder" ] && continue
      allowed=no
      for f in $folders; do
        if [ "$f" = "$top" ] || [ "$f" = "$header" ]; then allowed=yes; fi
      done
      [ -d "$src/$top" ] || allowed=yes  # not one of ours (a test helper, a generated file)
      if [ $allowed = no ]; then
        echo "$folder/$name: includes \"$header\"; $folder/README.md allows: ${folders:- none}"
        status=1
      fi
    elif [[ $header == Q* ]]; then
      if [ "$qt" != yes ]; then
        echo "$folder/$name: includes <$header>; $folder/README.md allows no Qt"
        status=1
      fi
    elif [[ $header == *.h ]]; then
      case " $platform " in
        *" yes "* | *" $name "*) ;;
        *)
          echo "$folder/$name: includes <$header>; $folder/README.md allows platform headers in: ${platform}"
          status=1
          ;;
      esac
    fi
  done < <(find "$folder_dir" -maxdepth 1 \( -name '*.cc' -o -name '*.h' \) -exec grep -H '^[[:space:]]*#[[:space:]]*include' {} +)
done

[ $status = 0 ] && echo "includes: every folder keeps to its README"
exit $status
