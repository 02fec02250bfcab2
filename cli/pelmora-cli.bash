# bash completion for pelmora-cli                                  -*- shell-script -*-

_pelmora_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local command=
    ((COMP_CWORD > 1)) && [[ ${COMP_WORDS[1]} == verify || ${COMP_WORDS[1]} == clean ]] && command=${COMP_WORDS[1]}

    # The values of the options that take one.
    case $prev in
        -o | --folder)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return ;;
        -t | --type)
            mapfile -t COMPREPLY < <(compgen -W '0 noncompressible 1 compressible 2 random' -- "$cur")
            return ;;
        --lang)
            mapfile -t COMPREPLY < <(compgen -W '0 1 2 3 4 5 6 7 8 9 10 11' -- "$cur")
            return ;;
        -s | --size)
            mapfile -t COMPREPLY < <(compgen -W '4K 64K 1M 16M 256M 1G 4G' -- "$cur")
            return ;;
        --dedupe-unit)
            mapfile -t COMPREPLY < <(compgen -W '4K 8K 16K 32K 64K 128K 256K 512K 1M 2M 4M 8M 16M 32M 64M file' -- "$cur")
            return ;;
        -n | --count | --seed | --threads | --jobs | --per-folder | --files | --compress | --dedupe)
            return ;;
    esac

    local every=(--json --help -h )
    local both=(--progress --direct "${every[@]}" )
    local run=(--folder -o --count -n --size -s --type -t --compress --dedupe --dedupe-unit --seed --yes -y --no-clobber --lang
        --quiet -q --sync --reveal --fill --jobs --per-folder --files --version -V )
    local check=(--count -n --size -s --threads --files --drop-cache -- )
    local clean=(--dry-run -- )
    if [[ $command ]]; then
        if [[ $cur == -* && $command == verify ]]; then
            mapfile -t COMPREPLY < <(compgen -W "${check[*]} ${both[*]}" -- "$cur")
        elif [[ $cur == -* ]]; then
            mapfile -t COMPREPLY < <(compgen -W "${clean[*]} ${every[*]}" -- "$cur")
        else
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        fi
    elif [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "${run[*]} ${both[*]}" -- "$cur")
    elif ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W 'verify clean' -- "$cur")
    fi
} &&
    complete -F _pelmora_cli pelmora-cli pelmora-cli.exe
