# bash completion for vakrun: its switches and, as the target, directories.
# Installed as bash-completion/completions/vakrun, which bash-completion loads on first use.

_vakrun() {
  local current=${COMP_WORDS[COMP_CWORD]}
  local switches="-D -E -F -M -P -R -S -W -H --dry-run --help --version"
  COMPREPLY=()

  # The mask is joined to -M (-M'*.o'), and masks are not file names: nothing to offer.
  [[ $current == -[Mm]?* ]] && return 0
  if [[ $current == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$switches" -- "$current")
    # -M takes its mask in the same word, so no blank after it.
    [[ ${COMPREPLY[*]} == -M ]] && compopt -o nospace
    return 0
  fi

  # One target only: a second word that is no switch is refused, so offer none once one stands.
  local word
  for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
    [[ $word == -* ]] || return 0
  done
  # A word opened with a quote is matched without it; readline quotes what it inserts.
  current=${current#[\'\"]}
  compopt -o filenames
  mapfile -t COMPREPLY < <(compgen -d -- "$current")
}
complete -F _vakrun vakrun
