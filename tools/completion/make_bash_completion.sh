#!/usr/bin/env bash
# Writes the bash completion of dmcodec from the tool's own help texts, so that it names exactly
# the commands and options the tool has: commands, each command's options, the values of options
# that take one of a list, file names for options that take a path and for the files a command
# reads, folders for eval. Usage: make_bash_completion.sh DMCODEC OUTPUT
set -euo pipefail
tool=$1
output=$2
exec >"$output.new"

commands=$("$tool" --help | sed -n '/^Subcommands:/,$p' | sed -n 's/^  \([a-z][a-z-]*\) .*/\1/p' |
    paste -sd ' ')

cat <<'EOF'
# bash completion for dmcodec, written from its help texts when it was built.
_dmcodec() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=""
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
EOF
echo "    if ((COMP_CWORD == 1)); then"
echo "        local words='$commands'"
echo '        [[ $cur == -* ]] && words="--help --version -h"'
echo '        mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")'
echo "        return"
echo "    fi"
echo "    local options=\"\" values=\"\" positional=\"\""
echo '    case ${COMP_WORDS[1]} in'
for command in $commands; do
    help=$("$tool" "$command" --help)
    options=()
    path_options=()
    choice_cases=()
    while IFS= read -r line; do
        [[ $line =~ ^\ \ (-[^ ]+)(\ ([^ ]+))? ]] || continue
        IFS=, read -r -a names <<<"${BASH_REMATCH[1]}"
        type=${BASH_REMATCH[3]:-}
        options+=("${names[@]}")
        [[ -n $type ]] || continue
        if [[ $type =~ \{([^}]*)\} ]]; then
            choice_cases+=("$(IFS='|'; echo "${names[*]}")) values='${BASH_REMATCH[1]//,/ }' ;;")
        elif [[ $type == TEXT* || $type == *.* ]]; then
            path_options+=("${names[@]}")
        else
            choice_cases+=("$(IFS='|'; echo "${names[*]}")) values='' ;;")
        fi
    done <<<"$help"
    positional=$(sed -n '/^Positionals:/{n;s/^  \([a-z]*\) .*/\1/p}' <<<"$help")
    case $positional in
        dir) positional=folders ;;
        files | file) positional=files ;;
        *) positional=none ;;
    esac
    echo "        $command)"
    echo "            options='${options[*]}'"
    echo "            positional=$positional"
    echo "            case \$prev in"
    ((${#path_options[@]})) && echo "                $(IFS='|'; echo "${path_options[*]}")) values=files ;;"
    for c in "${choice_cases[@]}"; do
        echo "                $c"
    done
    echo "                *) values=none ;;"
    echo "            esac"
    echo "            ;;"
done
cat <<'EOF'
        *) return ;;
    esac
    # The value of the option before: one of its values, a file name, or nothing to offer.
    if [[ $values == files ]]; then
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        return
    elif [[ $values != none ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$values" -- "$cur")
        return
    fi
    local word
    for word in "${COMP_WORDS[@]:2:COMP_CWORD-2}"; do
        [[ $word == -- ]] && options=""
    done
    if [[ $cur == -* && -n $options ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    elif [[ $positional == folders ]]; then
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
    elif [[ $positional == files ]]; then
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
}
complete -o filenames -F _dmcodec dmcodec
EOF
mv "$output.new" "$output"
