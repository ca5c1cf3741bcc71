#!/usr/bin/env bash
# Loads vakrun's completion for one shell and checks its answers in a fresh temporary folder:
#   completion_test.sh bash|fish|zsh COMPLETION_DIR
# The folder holds directories "alpha", "alp ha" and "beta/inner", and a file "alpine.txt".
set -euo pipefail
shell=$1
completions=$(cd "$2" && pwd)
command -v "$shell" >/dev/null || { echo "$shell is needed (scripts/test.sh installs it)" && exit 1; }
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
cd "$work"
mkdir alpha "alp ha" beta beta/inner
touch alpine.txt beta/file.txt

failures=0
expect() { # a case's name, what was expected and what came (one answer a line)
  if [ "$2" == "$3" ]; then
    echo "ok: $1"
  else
    printf 'FAILED: %s\n  expected: %s\n  got:      %s\n' "$1" "${2//$'\n'/|}" "${3//$'\n'/|}"
    failures=$((failures + 1))
  fi
}
switches="-D -E -F -M -P -R -S -W -H --dry-run --help --version"

case $shell in
bash)
  # shellcheck source=/dev/null
  source "$completions/vakrun.bash"
  expect "registered for vakrun" "complete -F _vakrun vakrun" "$(complete -p vakrun)"
  # Outside readline compopt cannot run: what the function asks of it is noted instead.
  compopt() { asked+="$* "; }
  # The words typed before the cursor, then the word being completed.
  # Each case: its name, the words typed (the last one is being completed; "_" is a blank in a
  # name), the answers, and what was asked of compopt.
  while IFS='|' read -r name words expected want_asked; do
    read -ra COMP_WORDS <<<"vakrun $words"
    [ "${words: -1}" == " " ] && COMP_WORDS+=("")
    COMP_WORDS=("${COMP_WORDS[@]//_/ }")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    asked=""
    _vakrun
    expect "$name" "$(tr ' ' '\n' <<<"$expected" | sed "s/_/ /g" | sort)" \
      "$( ((${#COMPREPLY[@]})) && printf '%s\n' "${COMPREPLY[@]}" | sort)"
    expect "$name (options asked)" "$want_asked" "${asked% }"
  done <<EOF_CASES
every switch after a dash|-|$switches|
the long ones after two dashes|--|--dry-run --help --version|
a switch given again|-D -|$switches|
switches after the target|alpha -|$switches|
-M stays joined to its mask|-M|-M|-o nospace
nothing for a mask|-M*.|
directories, not files, for a prefix|al|alpha alp_ha|-o filenames
every directory for an empty word|-D |alpha alp_ha beta|-o filenames
directories below a path|beta/|beta/inner|-o filenames
a word opened with a quote|'al|alpha alp_ha|-o filenames
no second target|alpha b|
EOF_CASES
  ;;
fish)
  answers() { # the command line so far, as typed
    fish --no-config -c "source '$completions/vakrun.fish'; complete -C\"\$argv[1]\"" "$1" |
      cut -f1 | sort
  }
  expect "every switch after a dash" "$(tr ' ' '\n' <<<"$switches" | sort)" "$(answers "vakrun -")"
  expect "switches after the target" "$(tr ' ' '\n' <<<"$switches" | sort)" \
    "$(answers "vakrun alpha -")"
  expect "directories, not files, for a prefix" "$(printf 'alp ha/\nalpha/')" \
    "$(answers "vakrun al")"
  expect "directories below a path" "beta/inner/" "$(answers "vakrun -D beta/")"
  expect "no second target" "" "$(answers "vakrun alpha b")"
  ;;
zsh)
  # The function is found on zsh's path and claims vakrun when the completion system starts.
  expect "registered for vakrun" "_vakrun" \
    "$(zsh -f -c 'fpath=("$1" $fpath); autoload -Uz compinit; compinit -u -D; print -r -- ${_comps[vakrun]}' \
      zsh "$completions")"
  zsh -n "$completions/_vakrun" && echo "ok: the script parses"
  ;;
esac
exit $((failures > 0))
