#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Writes the bash and zsh completion of kestrone-scan from the built program's
# --help, so its options and audio extensions are the ones the program has.
#   usage: make-completions.sh KESTRONE_SCAN OUTDIR
set -euo pipefail
program=$1
out=$2
help=$("$program" --help)

# Option lines: "  --json FILE     write ...", "  --jobs N, -j N  analyse ..."; the
# names are the part before the description (two spaces), the value is an
# upper-case word (files: FILE, PATH, DIR, FOLDER, LIST, PART...).
options=() file_options=() value_options=()
declare -A described=()
while IFS=$'\t' read -r names description; do
  IFS=',' read -ra forms <<<"$names"
  for form in "${forms[@]}"; do
    read -r name value <<<"$form"
    # "--cache[=FILE]" takes its value only after "="; "--progress=MODE" always.
    if [[ $name == *"[="* ]]; then
      value=${name#*\[=}
      value=${value%]}
      name=${name%%\[*}
    elif [[ $name == *=* ]]; then
      value=${name#*=}
      name=${name%%=*}
    fi
    options+=("$name")
    described[$name]=$description
    case "$value" in
      "") ;;
      FILE|PATH|DIR|FOLDER|LIST|PART*) file_options+=("$name") ;;
      *) value_options+=("$name") ;;
    esac
  done
done < <(sed -n 's/^  \(-[^ ].*\)$/\1/p' <<<"$help" | sed 's/  \+/\t/')

# The extensions a folder walk picks up, as the help lists them.
mapfile -t extensions < <(tr -s '[:space:]' '\n' <<<"$help" | sed -n 's/^\.\([a-z0-9]\{1,6\}\)$/\1/p' | sort -u)
if [ ${#options[@]} -eq 0 ] || [ ${#extensions[@]} -eq 0 ]; then
  echo "make-completions.sh: no options or no extensions in '$program --help'" >&2
  exit 1
fi
join() { local IFS=$1; shift; echo "$*"; }
ext_pattern=$(join '|' "${extensions[@]}")
file_case=$(join '|' "${file_options[@]:-__none__}")
value_case=$(join '|' "${value_options[@]:-__none__}")

mkdir -p "$out"
cat >"$out/kestrone-scan.tmp" <<BASH
# SPDX-License-Identifier: MIT
# bash completion for kestrone-scan, made from kestrone-scan --help at build time.
_kestrone_scan()
{
    local cur prev words cword split
    _init_completion -s || return
    case \$prev in
        $file_case)
            _filedir
            return ;;
        $value_case)
            return ;;
    esac
    \$split && return
    if [[ \$cur == -* ]]; then
        COMPREPLY=(\$(compgen -W '${options[*]}' -- "\$cur"))
        return
    fi
    _filedir '@($ext_pattern)'
} && complete -F _kestrone_scan kestrone-scan
BASH
mv "$out/kestrone-scan.tmp" "$out/kestrone-scan"

{
  echo "#compdef kestrone-scan"
  echo "# SPDX-License-Identifier: MIT"
  echo "# zsh completion for kestrone-scan, made from kestrone-scan --help at build time."
  echo "_arguments -s -S \\"
  for name in "${options[@]}"; do
    # The description inside '...[...]' with the characters _arguments reads escaped.
    text=${described[$name]}
    text=${text//\\/\\\\}
    text=${text//\[/\\[}
    text=${text//\]/\\]}
    text=${text//:/\\:}
    text=${text//\'/\'\\\'\'}
    if [[ " ${file_options[*]} " == *" $name "* ]]; then
      echo "  '$name=[$text]:file:_files' \\"
    elif [[ " ${value_options[*]} " == *" $name "* && $name == --* ]]; then
      echo "  '$name=[$text]:value: ' \\"
    elif [[ " ${value_options[*]} " == *" $name "* ]]; then
      echo "  '$name+[$text]:value: ' \\"
    else
      echo "  '$name[$text]' \\"
    fi
  done
  echo "  '*:audio file or folder:_files -g \"*.(#i)($ext_pattern)(-.)\"'"
} >"$out/_kestrone-scan.tmp"
mv "$out/_kestrone-scan.tmp" "$out/_kestrone-scan"
