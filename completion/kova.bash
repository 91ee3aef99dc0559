# bash completion for capview, kovasim, kovactl, kovarun, kovatrace and kovaview (one file, installed under
# each program's name).

_kova_capview_options='-q --off -b --bobmode -d --doublebuffer -o --blank -v --verbose --help
    -w --destwidth -h --destheight -x --offsetx -y --offsety -X --shrinkx -Y --shrinky
    -B --bitclipwidth -C --bitclipheight -W --sourcewidth -H --sourceheight -s --synclock'
_kova_capview_with_value='-w|--destwidth|-h|--destheight|-x|--offsetx|-y|--offsety|-X|--shrinkx|-Y|--shrinky|-B|--bitclipwidth|-C|--bitclipheight|-W|--sourcewidth|-H|--sourceheight'

# The kovactl to ask for its command table, options and register names:
# _kova_kovactl_command when set, else the kovactl typed, else kovactl; sets ask[].
_kova_kovactl_ask() {
    ask=(kovactl)
    [[ ${words[0]-} == *kovactl ]] && ask=("${words[0]}")
    [[ -n ${_kova_kovactl_command-} ]] && read -r -a ask <<<"$_kova_kovactl_command"
}

# Every register name that kovactl takes (GRE8, GRE5@00, SRDE, ..., then the
# register map's names), as "kovactl help registers" lists them; asked once a shell.
_kova_register_names() {
    if [[ -z ${_kova_register_cache-} ]]; then
        local ask
        _kova_kovactl_ask
        _kova_register_cache=$("${ask[@]}" help registers 2>/dev/null)
    fi
    printf '%s\n' "$_kova_register_cache"
}

# The indexed registers alone (GRxx, SRxx@pp, CRxx): what kovasim's --set takes.
_kova_indexed_names() {
    _kova_register_names | grep -E '^(GR|SR|CR)[0-9A-F]{2}(@[0-9A-F]{2})?$'
}

# Register names for --set and kovactl's reg commands: the indexed registers
# by name (with NAMES, the map's names too), TV registers (TVxxxx) and single
# ports (Pxxxx) digit by digit.
_kova_complete_register() {
    local cur=${1^^} names=${2-}
    compopt -o nospace 2>/dev/null
    if [[ $cur =~ ^(TV|P)[0-9A-F]{0,3}$ ]]; then
        COMPREPLY=("$cur"{{0..9},{A..F}})
    elif [[ -n $names ]]; then
        COMPREPLY=($(compgen -W "$(_kova_register_names) TV P" -- "$cur"))
    else
        COMPREPLY=($(compgen -W "$(_kova_indexed_names) TV P" -- "$cur"))
    fi
}

# The command line with the words that bash split at '=' joined again
# (--set GRE8=01 is one word); sets words[] and cword.
_kova_words() {
    words=() cword=0
    local i joined=0
    for ((i = 0; i < ${#COMP_WORDS[@]}; i++)); do
        if ((i > 0)) && { [[ ${COMP_WORDS[i]} == "=" ]] || ((joined)); }; then
            words[${#words[@]} - 1]+=${COMP_WORDS[i]}
        else
            words+=("${COMP_WORDS[i]}")
        fi
        [[ ${COMP_WORDS[i]} == "=" ]] && joined=1 || joined=0
        ((i == COMP_CWORD)) && cword=$((${#words[@]} - 1))
    done
}

# kovasim's and kovarun's own options as the program lists them (--list-options:
# one a line, the name and its value's choices or placeholder), asked once a
# shell.  _kova_NAME_command names the program to ask (default: the word typed
# when completing NAME itself, else NAME).
_kova_options_of() {
    local name=$1 cache=_kova_${1}_listed command=_kova_${1}_command ask
    if [[ -z ${!cache-} ]]; then
        ask=("$name")
        [[ ${words[0]##*/} == "$name" ]] && ask=("${words[0]}")
        [[ -n ${!command-} ]] && read -r -a ask <<<"${!command}"
        printf -v "$cache" '%s' "$("${ask[@]}" --list-options 2>/dev/null)"
    fi
    printf '%s\n' "${!cache}"
}

# The options of program NAME that take a value, as the alternatives of a pattern (a|b).
_kova_options_with_value() {
    _kova_options_of "$1" | awk 'NF > 1 { printf "%s%s", sep, $1; sep = "|" }'
}

# Completes CUR as the value of NAME's OPTION by the value's listed token: DIR
# a directory, FILE a file, REG=HEX a register, choices a|b (FILE.ext among
# them: files so named), N nothing.  Returns 1 if OPTION takes no value.
_kova_listed_value() {
    local cur=$3 argument choice
    argument=$(_kova_options_of "$1" | awk -v option="$2" '$1 == option { print $2 }')
    [[ -n $argument ]] || return 1
    COMPREPLY=()
    case $argument in
    DIR) COMPREPLY=($(compgen -d -- "$cur")) ;;
    FILE) COMPREPLY=($(compgen -f -- "$cur")) ;;
    REG=HEX) [[ $cur == *=* ]] || _kova_complete_register "$cur" ;;
    *\|*)
        for choice in ${argument//|/ }; do
            if [[ $choice == FILE.* ]]; then
                COMPREPLY+=($(compgen -f -X "!*.${choice#FILE.}" -- "$cur"))
            else
                COMPREPLY+=($(compgen -W "$choice" -- "$cur"))
            fi
        done
        ;;
    esac
    return 0 # a value, also when nothing matches
}

# Completes the value of a kovactl option; returns 1 if OPTION takes none.
_kova_option_value() {
    local option=$1 cur=$2
    case $option in
    --trace | --dump | --png | --y4m | --card) COMPREPLY=($(compgen -f -- "$cur")) ;;
    --state-dir) COMPREPLY=($(compgen -d -- "$cur")) ;;
    --source) COMPREPLY=($(compgen -W 'pal ntsc none' -- "$cur") $(compgen -f -X '!*.y4m' -- "$cur")) ;;
    --frames) COMPREPLY=() ;;
    --fail) _kova_listed_value kovasim --fail "$cur" ;;
    --set) [[ $cur == *=* ]] && COMPREPLY=() || _kova_complete_register "$cur" ;;
    *) return 1 ;;
    esac
    return 0 # a value, also when nothing matches
}

# capview's options, the word being WORDS[CWORD].
_kova_capview_args() {
    local cur=${words[cword]} prev=${words[cword - 1]}
    if [[ $prev == @(-s|--synclock) ]]; then
        COMPREPLY=($(compgen -W '0 1 2 3' -- "$cur"))
    elif [[ $prev == @($_kova_capview_with_value) ]]; then
        COMPREPLY=()
    else
        COMPREPLY=($(compgen -W "$_kova_capview_options" -- "$cur"))
    fi
}

_kova_capview() {
    local words cword
    _kova_words
    _kova_capview_args
}

_kova_kovasim() {
    local words cword i with_value
    _kova_words
    local cur=${words[cword]} prev=${words[cword - 1]}
    with_value=$(_kova_options_with_value kovasim)
    # kovasim's options stand anywhere before "--", among capview's; after it, capview's alone.
    for ((i = 1; i < cword; i++)); do
        [[ ${words[i]} == -- ]] && { _kova_capview_args; return; }
        [[ ${words[i]} == @($with_value|$_kova_capview_with_value|-s|--synclock) ]] && ((i++))
    done
    if [[ $cur == --*=* ]]; then
        _kova_listed_value kovasim "${cur%%=*}" "${cur#*=}" && return
    fi
    _kova_listed_value kovasim "$prev" "$cur" && return
    if [[ $prev == @($_kova_capview_with_value|-s|--synclock) ]]; then
        _kova_capview_args
        return
    fi
    COMPREPLY=($(compgen -W "$(_kova_options_of kovasim | cut -d' ' -f1) -- $_kova_capview_options" -- "$cur"))
}

# kovactl's register names: those of kovasim, the map's names and the
# engine-relative CAPn:xx and OVLn:xx, digit by digit.
_kova_complete_engine_register() {
    local cur=${1^^}
    if [[ $cur =~ ^(CAP|OVL)[01]:[0-9A-F]?$ ]]; then
        compopt -o nospace 2>/dev/null
        COMPREPLY=("$cur"{{0..9},{A..F}})
        return
    fi
    _kova_complete_register "$1" names
    COMPREPLY+=($(compgen -W 'CAP0: CAP1: OVL0: OVL1:' -- "$cur"))
}

# kovactl's command table, one synopsis a line ("reg dump [GR|SR|...] [--page N]"),
# as "kovactl help" prints it, in _kova_kovactl_synopses; asked once a shell.
# _kova_kovactl_command names the program to ask (default: the word typed).
_kova_kovactl_load() {
    if [[ -z ${_kova_kovactl_synopses-} ]]; then
        local ask
        _kova_kovactl_ask
        _kova_kovactl_synopses=$("${ask[@]}" help 2>/dev/null | sed -n '/^commands:/,$p' |
            sed -n 's/^  \([a-z][^ ]*\( [^ ]\{1,\}\)*\).*/\1/p')
    fi
}

# _kova_kovactl_match SYNOPSIS WORDS...: whether the command words typed fit
# the synopsis (its words and choices; placeholders take any word).  Sets slot (the synopsis token for the next word: a word,
# choices a|b, a placeholder, or empty; slot_optional 1 when it may be left
# out), opts (the synopsis' options) and
# value (the option's value token when the last word typed is that option).
_kova_kovactl_match() {
    local tokens=($1) positional=() optional=() flags=() token name i j=0 w p
    local -A takes=()
    shift
    opts=() slot= value=
    for ((i = 0; i < ${#tokens[@]}; i++)); do
        token=${tokens[i]}
        if [[ $token == \[-* ]]; then
            name=${token#[}
            if [[ $token == *\] ]]; then
                flags+=("${name%]}")
                opts+=("${name%]}")
            else
                token=${tokens[++i]}
                takes[$name]=${token%]}
                opts+=("$name")
            fi
        elif [[ $token == \[* ]]; then
            token=${token#[}
            positional+=("${token%]}") optional+=(1)
        else
            positional+=("$token") optional+=(0)
        fi
    done
    for ((i = 0; i < $#; i++)); do
        w=${@:i+1:1}
        if [[ -n $w && -n ${takes[$w]+set} ]]; then
            ((i + 1 == $#)) && value=${takes[$w]}
            ((i++))
            continue
        fi
        [[ " ${flags[*]} " == *" $w "* ]] && continue
        while ((j < ${#positional[@]})); do
            p=${positional[j]}
            # Placeholders (upper case, FILE.png) take any word, N a number.
            [[ $p == N ]] && { [[ $w =~ ^[0-9] ]] && break || return 1; }
            [[ $p == *\|* || $p =~ ^[a-z] ]] || break
            [[ "|$p|" == *"|$w|"* ]] && break
            ((optional[j])) || return 1
            ((j++))
        done
        ((j++)) # a word past the synopsis' end is the user's: it stays
    done
    slot=${positional[j]-} slot_optional=${optional[j]-1}
    return 0
}

# Completes the word CUR after kovactl's command words ARGS...
_kova_kovactl_complete() {
    local cur=$1 synopsis slot slot_optional opts value candidates=() choice
    shift
    _kova_kovactl_load
    if (($# == 0)) || [[ $* == help ]]; then
        COMPREPLY=($(compgen -W "$(cut -d' ' -f1 <<<"$_kova_kovactl_synopses" | uniq) help" -- "$cur"))
        return
    fi
    while read -r synopsis; do
        _kova_kovactl_match "$synopsis" "$@" || continue
        if [[ -n $value ]]; then
            [[ $value == *FILE* ]] && COMPREPLY+=($(compgen -f -- "$cur"))
            for choice in ${value//|/ }; do [[ $choice =~ [A-Z] || $choice == - ]] || candidates+=("$choice"); done
            continue
        fi
        case $slot in
        REG | REG=HEX) _kova_complete_engine_register "$cur"; return ;;
        FILE | A | B) COMPREPLY=($(compgen -f -- "$cur")); return ;; # A B: the traces of trace diff
        *.png) COMPREPLY=($(compgen -f -X '!*.png' -- "$cur")); return ;;
        MODE) candidates+=(0 1 2 3) ;;
        N) candidates+=(0 1) ;;
        *\|* | [a-z]*) candidates+=(${slot//|/ }) ;;
        esac
        # A command's options once the words it needs are typed.
        ((slot_optional)) || [[ ! $slot =~ ^[a-z] && $slot != *\|* && $slot != MODE ]] && candidates+=("${opts[@]}")
    done < <(grep "^$1\( \|\$\)" <<<"$_kova_kovactl_synopses")
    COMPREPLY+=($(compgen -W "$(printf '%s\n' "${candidates[@]}" | awk '!seen[$0]++')" -- "$cur"))
}

# kovactl's global options as "kovactl help options" lists them ("  -y, --yes  ...",
# "  --card FILE  ..."): every name in _kova_kovactl_options, those that take a
# value in _kova_kovactl_with_value (a|b|c); asked once a shell.
_kova_kovactl_load_options() {
    [[ -n ${_kova_kovactl_options-} ]] && return
    local ask line name names value
    _kova_kovactl_ask
    _kova_kovactl_options= _kova_kovactl_with_value=
    while IFS= read -r line; do
        line=${line#  } line=${line%%  *} names=() value=
        for name in ${line//,/}; do [[ $name == -* ]] && names+=("$name") || value=1; done
        _kova_kovactl_options+=" ${names[*]}"
        [[ -n $value ]] && for name in "${names[@]}"; do _kova_kovactl_with_value+="|$name"; done
    done < <("${ask[@]}" help options 2>/dev/null)
    _kova_kovactl_with_value=${_kova_kovactl_with_value#|}
}

_kova_kovactl() {
    local words cword i
    _kova_words
    _kova_kovactl_load_options
    local cur=${words[cword]} prev=${words[cword - 1]} command=()
    for ((i = 1; i < cword; i++)); do
        if ((${#command[@]})); then
            command+=("${words[i]}")
        elif [[ ${words[i]} == @(${_kova_kovactl_with_value:-NONE}) ]]; then
            ((i++))
        elif [[ ${words[i]} != -* ]]; then
            command+=("${words[i]}")
        fi
    done
    if ((${#command[@]} == 0)); then
        if [[ $cur == --*=* ]]; then
            _kova_option_value "${cur%%=*}" "${cur#*=}" && return
        fi
        _kova_option_value "$prev" "$cur" && return
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "$_kova_kovactl_options" -- "$cur"))
            return
        fi
    fi
    _kova_kovactl_complete "$cur" "${command[@]}"
}

complete -F _kova_capview capview
complete -F _kova_kovasim kovasim
complete -F _kova_kovactl kovactl

# kovarun and kovatrace (NAME): their own options as they list them, then
# after "--" a program and its arguments.
_kova_runner() {
    local name=$1 words cword i with_value
    _kova_words
    local cur=${words[cword]} prev=${words[cword - 1]}
    with_value=$(_kova_options_with_value "$name")
    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} == -- ]]; then
            ((i + 1 == cword)) && COMPREPLY=($(compgen -c -- "$cur")) || COMPREPLY=($(compgen -f -- "$cur"))
            return
        fi
        [[ -n $with_value && ${words[i]} == @($with_value) ]] && ((i++))
    done
    if [[ $cur == --*=* ]]; then
        _kova_listed_value "$name" "${cur%%=*}" "${cur#*=}" && return
    fi
    _kova_listed_value "$name" "$prev" "$cur" && return
    COMPREPLY=($(compgen -W "$(_kova_options_of "$name" | cut -d' ' -f1) --" -- "$cur"))
}
_kova_kovarun() { _kova_runner kovarun; }
_kova_kovatrace() { _kova_runner kovatrace; }
complete -F _kova_kovarun kovarun
complete -F _kova_kovatrace kovatrace

# kovaview: its own options, then after "--" capview's.
_kova_kovaview_options='--source --set --fields --y4m --no-pacing --no-window --integer-scale --snapshot-dir
    --state-dir --card --help --version --'
_kova_kovaview() {
    local words cword i
    _kova_words
    local cur=${words[cword]} prev=${words[cword - 1]}
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
        --) _kova_capview_args; return ;;
        --source | --set | --fields | --y4m | --snapshot-dir | --state-dir | --card) ((i++)) ;;
        esac
    done
    case $prev in
    --snapshot-dir) COMPREPLY=($(compgen -d -- "$cur")); return ;;
    --card) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --fields) COMPREPLY=(); return ;;
    esac
    _kova_option_value "$prev" "$cur" && return
    COMPREPLY=($(compgen -W "$_kova_kovaview_options" -- "$cur"))
}
complete -F _kova_kovaview kovaview
