# bash completion for twinlens-cli: its commands, their options, folders, files and domains.
_twinlens_cli_domains() {
  local folder=${XDG_CONFIG_HOME:-$HOME/.config}/twinlens file
  local -a domains=(com.apple.iphoto)
  for file in "$folder"/*.plist; do
    [[ -f $file ]] && file=${file##*/} && domains+=("${file%.plist}")
  done
  COMPREPLY=($(compgen -W "${domains[*]}" -- "$1"))
}

_twinlens_cli() {
  local cur prev words cword
  _init_completion || return

  if ((cword == 1)); then
    COMPREPLY=($(compgen -W "scan trash hash cache defaults help --help --version" -- "$cur"))
    return
  fi
  case $prev in
    --library|--folder) _filedir -d; return ;;
    --file) _filedir; return ;;
    --source) COMPREPLY=($(compgen -W "file applescript" -- "$cur")); return ;;
    --keep) COMPREPLY=($(compgen -W "oldest newest largest under:" -- "$cur")); return ;;
    --log-level)
      COMPREPLY=($(compgen -W "0 1 2 3 4 5 none error warn info debug trace" -- "$cur"))
      return ;;
  esac

  local options=""
  case ${words[1]} in
    scan) options="--library --folder --keep --source --json --no-progress --log-level --help" ;;
    trash) options="--library --folder --keep --yes --no-progress --log-level --help" ;;
    cache) options="--json --library --file --help" ;;
    hash)
      if [[ $cur != -* ]]; then _filedir; return; fi
      options="--whole --log-level --help --" ;;
    defaults)
      case $cword in
        2) options="read write delete --help" ;;
        3) _twinlens_cli_domains "$cur"; return ;;
        5) [[ ${words[2]} == write ]] && options="-int -bool -string" ;;
      esac ;;
  esac
  COMPREPLY=($(compgen -W "$options" -- "$cur"))
}
complete -F _twinlens_cli twinlens-cli
