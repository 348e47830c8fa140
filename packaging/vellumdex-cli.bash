# bash completion for vellumdex-cli: its commands, each command's options, and the stored
# definitions and connections as the values of --definition and --connection.

_vellumdex_cli()
{
    local cur prev words cword
    _init_completion || return

    local commands="convert publish restore import connections definitions profiles help"
    if [[ $cword -eq 1 ]]; then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi

    local convert_opts="--input --output --definition --sort --asc --desc --no-sort
        --restore-block --no-restore-block"
    local opts
    case ${words[1]} in
        convert) opts="$convert_opts" ;;
        publish) opts="${convert_opts/--output/} --connection --remote-name --accept-new-host-key" ;;
        import) opts="--from --profile" ;;
        profiles) opts="--from" ;;
        restore | connections | definitions) opts="" ;;
        *) return ;;
    esac

    case $prev in
        --input)
            _filedir -d
            return
            ;;
        --output)
            _filedir html
            return
            ;;
        --sort)
            COMPREPLY=($(compgen -W "name date" -- "$cur"))
            return
            ;;
        --definition | --connection)
            local command=definitions
            [[ $prev == --connection ]] && command=connections
            local IFS=$'\n'
            COMPREPLY=($(compgen -W "$("${words[0]}" $command 2>/dev/null | sed 's/^[0-9]*\t//')" \
                -- "$cur"))
            return
            ;;
        --remote-name | --from | --profile)
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$opts --help" -- "$cur"))
        return
    fi
    case ${words[1]} in
        restore | import) _filedir ;;
    esac
}
complete -F _vellumdex_cli vellumdex-cli
