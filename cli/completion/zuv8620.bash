# bash completion for zuv8620: its commands, each command's options, and the
# values an option or operand takes. Replies are read line by line (mapfile),
# so that a file name with blanks stays one reply.

# _zuv8620_reply WORDS...: the words that begin with $cur.
_zuv8620_reply() {
  mapfile -t COMPREPLY < <(compgen -W "$*" -- "$cur")
}

# _zuv8620_files -f|-d: file or folder names that begin with $cur, quoted by
# bash as file names.
_zuv8620_files() {
  compopt -o filenames 2>/dev/null
  mapfile -t COMPREPLY < <(compgen "$1" -- "$cur")
}

# A word as the shell would pass it: quotes and backslashes taken away, ~/
# expanded.
_zuv8620_dequote() {
  local word=$1
  if [[ $word == \'*\' || $word == \"*\" ]]; then
    word=${word:1:${#word}-2}
  else
    word=${word//\\/}
  fi
  [[ $word == \~/* ]] && word=$HOME/${word#\~/}
  printf '%s' "$word"
}

# The numbers of the templates in the driver file the line names (the tool's
# own list), or 0 to 15 when it names none or the tool cannot read it.
_zuv8620_numbers() {
  local numbers=""
  if ((${#driver[@]})); then
    numbers=$("$tool" "${driver[@]}" list 2>/dev/null | sed -n 's/^\([0-9]\{1,2\}\):.*/\1/p')
  fi
  printf '%s' "${numbers:-0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15}"
}

_zuv8620() {
  local tool=${1:-zuv8620}
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  local commands="list show get add remove set save check export apply edit help"
  local values="file|root|driver|define|undefine|config|board-id|differential|single-ended|ao0|ao1"
  local prefix=""
  COMPREPLY=()

  # --option=value: one word, or three when "=" breaks words (the third
  # missing while nothing follows the "=": the word is then "=" itself).
  if [[ $cur == = && $prev == --* ]]; then
    cur=""
  elif [[ $prev == = && $COMP_CWORD -ge 2 ]]; then
    prev=${COMP_WORDS[COMP_CWORD-2]}
  elif [[ $cur == --*=* ]]; then
    prev=${cur%%=*}
    prefix=$prev=
    cur=${cur#*=}
  fi

  # The command is the first word that is no option and no option's value;
  # after "--" no word is an option. The driver file's options are kept to
  # read its template numbers.
  local i word name command="" operands=0 options=1
  local -a driver=()
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if ((options)) && [[ $word == -- ]]; then
      options=0
    elif ((options)) && [[ $word == --@($values)?(=*) ]]; then
      name=${word%%=*}
      if [[ $word == *=* ]]; then
        word=${word#*=}
      elif [[ ${COMP_WORDS[i+1]} == = ]]; then
        word=${COMP_WORDS[i+2]}
        ((i += 2))
      else
        word=${COMP_WORDS[i+1]}
        ((i++))
      fi
      [[ $name == --@(file|root|driver|define|undefine|config) ]] &&
        driver+=("$name" "$(_zuv8620_dequote "$word")")
    elif ((options)) && [[ $word == --environment ]]; then
      driver+=("$word")
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
      --file | --config) _zuv8620_files -f ;;
      --root) _zuv8620_files -d ;;
      --driver | --define | --undefine) ;;
      --board-id) _zuv8620_reply 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 ;;
      --differential | --single-ended) _zuv8620_reply all 0 1 2 3 4 5 6 7 ;;
      --ao0 | --ao1) _zuv8620_reply 0~5V 0~10V -5~5V -10~10V ;;
      *) prev="" ;;
    esac
    if [[ -n $prev ]]; then
      ((${#COMPREPLY[@]})) && [[ -n $prefix ]] && COMPREPLY=("${COMPREPLY[@]/#/$prefix}")
      return
    fi
    if [[ $cur == -* && $cur != - ]]; then
      local own=""
      case $command in
        list | show) own="--json" ;;
        check) own="--json --image" ;;
        add) own="--board-id --dry-run --exit-code" ;;
        remove | save | apply) own="--dry-run --exit-code" ;;
        set) own="--board-id --differential --single-ended --ao0 --ao1 --dry-run --exit-code" ;;
      esac
      _zuv8620_reply --file --root --driver --define --undefine --config --environment "$own" \
        --help --version --
      return
    fi
  fi

  if [[ -z $command ]]; then
    _zuv8620_reply "$commands"
  elif ((operands == 0)); then
    case $command in
      show | get | remove | set) _zuv8620_reply "$(_zuv8620_numbers)" ;;
      apply) _zuv8620_files -f ;;
      help) _zuv8620_reply "$commands" ;;
    esac
  elif ((operands == 1)) && [[ $command == get ]]; then
    _zuv8620_reply board-id channels differential ao0 ao1
  fi
}
complete -F _zuv8620 zuv8620
