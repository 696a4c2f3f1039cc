# veltrane-ctl's zsh completion, typed into an interactive zsh on a pseudo-terminal: each
# line plus TAB must show the expected text.
#   zsh -f completion_test.zsh COMPLETION_DIR PORTS_DIR
dir=$1 ports=$2
zmodload zsh/zpty zsh/zselect
zpty z zsh -f -i
zpty -w z "PS1='%% '; fpath=($dir \$fpath); autoload -Uz compinit; compinit -u -D; print READY"
zpty -r z out '*READY*'
failed=0
check() {
  local line=$1 want=$2 got= chunk i
  zpty -w -n z "$line"$'\t'
  # What the shell echoes and offers, for up to 3 s.
  for i in {1..60}; do
    zpty -r -t z chunk && got+=$chunk
    [[ $got == *${want}* ]] && break
    zselect -t 5
  done
  zpty -w -n z $'\C-u'
  [[ $got == *${want}* ]] || { print -r "FAIL: zsh '$line' offers no $want"; failed=1 }
}
check 'veltrane-ctl --po' 'port'
check 'veltrane-ctl restore-a' 'restore-all'
check "veltrane-ctl --port $ports/tty" 'ttyFAKE'
check "veltrane-ctl --port=$ports/ttyFAKE1 scan --repl" 'reply-ms'
check "veltrane-ctl --port $ports/ttyFAKE1 ports --pro" 'probe'
check "veltrane-ctl --port $ports/ttyFAKE1 set out1 lim" 'limiter'
check "veltrane-ctl --port $ports/ttyFAKE1 fit ou"$'\t' 'out4'
zpty -d z
exit $failed
