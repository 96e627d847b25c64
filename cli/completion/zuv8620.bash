# bash completion for zuv8620: its commands, each command's options, and the
# values an option or operand takes.
_zuv8620() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  local commands="list show add remove set save check export apply help"
  local files="--file --root --driver"
  local numbers="0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15"
  COMPREPLY=()

  # The command is the first word that is no option and no option's value;
  # after "--" no word is an option.
  local i word command="" operands=0 options=1
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if ((options)) && [[ $word == -- ]]; then
      options=0
    elif ((options)) && [[ $word == --@(file|root|driver|board-id|differential|single-ended|ao0|ao1) ]]; then
      ((i++))
    elif ((options)) && [[ $word == -* && $word != - ]]; then
      :
    elif [[ -z $command ]]; then
      command=$word
    else
      ((operands++))
    fi
  done

  if ((options)); then
    case $prev in
      --file) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- "$cur")); return ;;
      --root) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -d -- "$cur")); return ;;
      --driver) return ;;
      --board-id) COMPREPLY=($(compgen -W "$numbers" -- "$cur")); return ;;
      --differential|--single-ended)
        COMPREPLY=($(compgen -W "all 0 1 2 3 4 5 6 7" -- "$cur")); return ;;
      --ao0|--ao1) COMPREPLY=($(compgen -W "0~5V 0~10V -5~5V -10~10V" -- "$cur")); return ;;
    esac
    if [[ $cur == -* && $cur != - ]]; then
      local own=""
      case $command in
        list|show) own="--json" ;;
        check) own="--json --image" ;;
        add) own="--board-id --dry-run" ;;
        remove|save|apply) own="--dry-run" ;;
        set) own="--board-id --differential --single-ended --ao0 --ao1 --dry-run" ;;
      esac
      COMPREPLY=($(compgen -W "$files $own --help --version --" -- "$cur"))
      return
    fi
  fi

  if [[ -z $command ]]; then
    COMPREPLY=($(compgen -W "$commands" -- "$cur"))
  elif ((operands == 0)); then
    case $command in
      show|remove|set) COMPREPLY=($(compgen -W "$numbers" -- "$cur")) ;;
      apply) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- "$cur")) ;;
      help) COMPREPLY=($(compgen -W "$commands" -- "$cur")) ;;
    esac
  fi
}
complete -F _zuv8620 zuv8620
