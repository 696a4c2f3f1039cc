# bash completion for veltrane-ctl: commands, options, their fixed values, and the
# serial ports for --port (the system's serial devices, and any path typed).

_veltrane_ctl_ports() {
  local cur=$1 path
  for path in /dev/ttyUSB* /dev/ttyACM* /dev/ttyS* /dev/serial/by-id/*; do
    [[ -e $path && $path == "$cur"* ]] && COMPREPLY+=("$path")
  done
  # Pseudo-terminals and links to them live anywhere: complete paths too.
  local files
  mapfile -t files < <(compgen -f -- "$cur")
  COMPREPLY+=("${files[@]}")
}

_veltrane_ctl() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  # "--port=/dev/tt": bash splits at the "=".
  if [[ $cur == "=" ]]; then
    cur="" prev=${COMP_WORDS[COMP_CWORD - 1]}
  elif [[ $prev == "=" && $COMP_CWORD -ge 2 ]]; then
    prev=${COMP_WORDS[COMP_CWORD - 2]}
  fi
  COMPREPLY=()

  local commands="ports info show set dump load backup restore store recall set-device
    unlock lock align fit predict scan backup-all restore-all"
  local global="--port --hid --device --json -q --quiet -v --verbose --timeout --verify
    --no-verify --help --version"
  local channels="in inb out1 out2 out3 out4"

  case $prev in
    --port) _veltrane_ctl_ports "$cur"; return ;;
    --smooth) COMPREPLY=($(compgen -W "none var 1/1 1/2 1/3 1/6 1/12 1/24 1/48" -- "$cur")); return ;;
    --target) mapfile -t COMPREPLY < <(compgen -f -- "$cur"); return ;;
    --device | --timeout | --range | --reply-ms | --max-boost | --tilt | --house | --bands) return ;;
  esac

  # The command is the first word that is neither an option nor an option's value.
  local command="" i word
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    case $word in
      --port | --device | --timeout | --range | --reply-ms | --max-boost | --tilt | --house | \
        --bands | --smooth | --target)
        # Its value follows, as the next word or after an "=".
        [[ ${COMP_WORDS[i + 1]} == "=" ]] && ((i += 1))
        ((i += 1))
        ;;
      -* | =) ;;
      *) command=$word; break ;;
    esac
  done

  if [[ -z $command ]]; then
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W "$global" -- "$cur"))
    else
      COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    fi
    return
  fi

  local own=""
  case $command in
    ports) own="--probe" ;;
    scan | backup-all | restore-all) own="--range --reply-ms" ;;
    align) own="--apply" ;;
    fit) own="--range --max-boost --tilt --house --target --bands --no-shelves --smooth --apply" ;;
    predict) own="--range --max-boost --tilt --house --target --bands --no-shelves --smooth
      --fitted" ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$own $global" -- "$cur"))
    return
  fi
  case $command in
    dump | load | backup | restore) mapfile -t COMPREPLY < <(compgen -f -- "$cur") ;;
    backup-all | restore-all) mapfile -t COMPREPLY < <(compgen -d -- "$cur") ;;
    set | fit | predict)
      # The channel first; then files (fit, predict) or parameters (set).
      if [[ ${COMP_WORDS[COMP_CWORD - 1]} == "$command" ]]; then
        COMPREPLY=($(compgen -W "$channels" -- "$cur"))
      elif [[ $command == set ]]; then
        COMPREPLY=($(compgen -W "$channels gain delay mute polarity bypass route eq1 eq2 eq3 eq4
          eq5 eq6 eq7 eq8 hp lp limiter" -- "$cur"))
      else
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      fi
      ;;
    align) COMPREPLY=($(compgen -W "out1 out2 out3 out4" -- "$cur")) ;;
  esac
}

complete -F _veltrane_ctl veltrane-ctl
