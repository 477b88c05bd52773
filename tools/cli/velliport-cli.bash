# bash completion for velliport-cli                          -*- shell-script -*-
# Installed as share/bash-completion/completions/velliport-cli; bash-completion loads it
# the first time the program's name is completed. Works without bash-completion too:
# source this file.

_velliport_cli()
{
    local cur prev
    cur="${COMP_WORDS[COMP_CWORD]}"
    prev=""
    ((COMP_CWORD > 0)) && prev="${COMP_WORDS[COMP_CWORD - 1]}"
    COMPREPLY=()

    local commands="sources chats export backup extract-media calls delete info verify search phone schedule help"
    local common="--help --quiet --password-file"
    local selection="--chat --exclude-chat --after --before --utc"

    local command="" action="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ -z $command && ${COMP_WORDS[i]} != -* ]]; then
            command="${COMP_WORDS[i]}"
        elif [[ ($command == phone || $command == schedule) && -z $action && ${COMP_WORDS[i]} != -* ]]; then
            action="${COMP_WORDS[i]}"
        fi
    done

    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return 0
    fi

    # Values of the options that take one.
    case "$prev" in
    --format)
        COMPREPLY=($(compgen -W "txt csv pdf html json" -- "$cur"))
        return 0
        ;;
    --media)
        COMPREPLY=($(compgen -W "copy none" -- "$cur"))
        return 0
        ;;
    --gone)
        COMPREPLY=($(compgen -W "include exclude only" -- "$cur"))
        return 0
        ;;
    --password-file)
        _velliport_cli_paths -f
        return 0
        ;;
    -o | --output)
        # extract-media writes into a folder, export may write a file or a folder.
        if [[ $command == extract-media ]]; then
            _velliport_cli_paths -d
        else
            _velliport_cli_paths -f
        fi
        return 0
        ;;
    --every)
        COMPREPLY=($(compgen -W "daily weekly" -- "$cur"))
        return 0
        ;;
    --chat | --exclude-chat | --after | --before | --to | --phone | --connect | --wait)
        return 0
        ;;
    esac

    local options
    case "$command" in
    sources) options="$common --json" ;;
    chats) options="$common --json" ;;
    export) options="$common $selection --format --output --media --gone" ;;
    backup) options="$common $selection --to" ;;
    extract-media | calls) options="$common $selection --output" ;;
    delete) options="$common $selection --yes" ;;
    info | verify) options="$common" ;;
    search) options="$common --chat --after --before --utc --json --limit" ;;
    phone)
        if [[ -z $action ]]; then
            COMPREPLY=($(compgen -W "load transfer undo-transfer --help" -- "$cur"))
            return 0
        fi
        options="$common $selection --to"
        [[ $action == transfer ]] && options="$options --yes"
        [[ $action == undo-transfer ]] && options="$common --yes"
        ;;
    schedule)
        case "$action" in
        "")
            COMPREPLY=($(compgen -W "add list remove run --help" -- "$cur"))
            return 0
            ;;
        add) options="--help --quiet --phone --to --every --connect" ;;
        run) options="--help --quiet --phone --to --connect --wait" ;;
        *) options="--help --quiet" ;;
        esac
        ;;
    *) return 0 ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return 0
    fi
    # A SOURCE is a file or a folder (a local database's name or phone:SERIAL is typed).
    case "$command" in
    sources | schedule | help) ;;
    phone) [[ $action == transfer ]] && _velliport_cli_paths -f ;;
    *) _velliport_cli_paths -f ;;
    esac
    return 0
}

# Files (-f) or folders (-d) starting with the current word, one per line so that names
# with spaces stay whole; readline then quotes them and marks the folders.
_velliport_cli_paths()
{
    mapfile -t COMPREPLY < <(compgen "$1" -- "$cur")
    compopt -o filenames 2>/dev/null
    return 0
}

complete -F _velliport_cli velliport-cli
