# bash completion for capview, kovasim and kovactl (one file, installed under
# each program's name).

_kova_capview_options='-q --off -b --bobmode -d --doublebuffer -o --blank -v --verbose --help
    -w --destwidth -h --destheight -x --offsetx -y --offsety -X --shrinkx -Y --shrinky
    -B --bitclipwidth -C --bitclipheight -W --sourcewidth -H --sourceheight -s --synclock'
_kova_capview_with_value='-w|--destwidth|-h|--destheight|-x|--offsetx|-y|--offsety|-X|--shrinkx|-Y|--shrinky|-B|--bitclipwidth|-C|--bitclipheight|-W|--sourcewidth|-H|--sourceheight'
_kova_failures='iopl open mmap-fb mmap-mmio'

# Registers that a page register pages, and the pages in use: GR FA pages
# these GR registers and SR 4F, GR BF pages GR B1, BA, BB and BE.
_kova_fa_paged_gr='41 42 43 4E 60 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F E0 E3 E5 E7 E9 EA EB EC ED EE'
_kova_fa_paged_sr='4F'
_kova_fa_pages='00 01 03 05 08 80'
_kova_bf_paged_gr='B1 BA BB BE'
_kova_bf_pages='00 01 02 40'

# Every GR, SR and CR name (GRE8, GRE5@00, SRDE, ...), computed once.
_kova_indexed_names() {
    if [[ -z ${_kova_indexed_cache-} ]]; then
        local file index page pages names=()
        for file in GR SR CR; do
            for index in {{0..9},{A..F}}{{0..9},{A..F}}; do
                pages=
                if [[ $file == GR && " $_kova_fa_paged_gr " == *" $index "* ]] ||
                    [[ $file == SR && " $_kova_fa_paged_sr " == *" $index "* ]]; then
                    pages=$_kova_fa_pages
                elif [[ $file == GR && " $_kova_bf_paged_gr " == *" $index "* ]]; then
                    pages=$_kova_bf_pages
                fi
                if [[ -z $pages ]]; then
                    names+=("$file$index")
                else
                    for page in $pages; do names+=("$file$index@$page"); done
                fi
            done
        done
        _kova_indexed_cache="${names[*]}"
    fi
    printf '%s\n' "$_kova_indexed_cache"
}

# Register names for --set and kovactl's reg commands: the indexed registers
# by name, TV registers (TVxxxx) and single ports (Pxxxx) digit by digit.
_kova_complete_register() {
    local cur=${1^^}
    compopt -o nospace 2>/dev/null
    if [[ $cur =~ ^(TV|P)[0-9A-F]{0,3}$ ]]; then
        COMPREPLY=("$cur"{{0..9},{A..F}})
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

# Completes the value of a kovasim/kovactl option; returns 1 if OPTION takes none.
_kova_option_value() {
    local option=$1 cur=$2
    case $option in
    --trace | --dump | --png | --y4m) COMPREPLY=($(compgen -f -- "$cur")) ;;
    --state-dir) COMPREPLY=($(compgen -d -- "$cur")) ;;
    --source) COMPREPLY=($(compgen -W 'pal ntsc none' -- "$cur") $(compgen -f -X '!*.y4m' -- "$cur")) ;;
    --frames) COMPREPLY=() ;;
    --fail) COMPREPLY=($(compgen -W "$_kova_failures" -- "$cur")) ;;
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

_kova_kovasim_options='--trace --set --fail --dump --state-dir --source --frames --png --y4m --help --version'
_kova_kovasim_with_value='--trace|--set|--fail|--dump|--state-dir|--source|--frames|--png|--y4m'

_kova_kovasim() {
    local words cword i
    _kova_words
    local cur=${words[cword]} prev=${words[cword - 1]}
    # kovasim's options stand anywhere before "--", among capview's; after it, capview's alone.
    for ((i = 1; i < cword; i++)); do
        [[ ${words[i]} == -- ]] && { _kova_capview_args; return; }
        [[ ${words[i]} == @($_kova_kovasim_with_value|$_kova_capview_with_value|-s|--synclock) ]] && ((i++))
    done
    if [[ $cur == --*=* ]]; then
        _kova_option_value "${cur%%=*}" "${cur#*=}" && return
    fi
    _kova_option_value "$prev" "$cur" && return
    if [[ $prev == @($_kova_capview_with_value|-s|--synclock) ]]; then
        _kova_capview_args
        return
    fi
    COMPREPLY=($(compgen -W "$_kova_kovasim_options -- $_kova_capview_options" -- "$cur"))
}

# kovactl's register names: those of kovasim and the engine-relative
# CAPn:xx and OVLn:xx, digit by digit.
_kova_complete_engine_register() {
    local cur=${1^^}
    if [[ $cur =~ ^(CAP|OVL)[01]:[0-9A-F]?$ ]]; then
        compopt -o nospace 2>/dev/null
        COMPREPLY=("$cur"{{0..9},{A..F}})
        return
    fi
    _kova_complete_register "$1"
    COMPREPLY+=($(compgen -W 'CAP0: CAP1: OVL0: OVL1:' -- "$cur"))
}

_kova_kovactl_commands='status reg detect dac wait clock screen draw blank overlay capture synclock genlock videoclock crt fetch grab screenshot help'

# Candidates for the word after kovactl's command words ARGS...
_kova_kovactl_next() {
    case "$*" in
    '') echo "$_kova_kovactl_commands" ;;
    help) echo "$_kova_kovactl_commands" ;;
    reg) echo get set dump ;;
    'reg dump') echo GR SR CR TV CAP0 CAP1 OVL0 OVL1 --page ;;
    dac) echo crt tv ram power ;;
    'dac '?*) (($# == 2)) && echo on off ;;
    wait) echo vsync hsync crt-vsync capture-vsync ;;
    draw) echo pixel line rect ;;
    overlay) echo 0 1 top ;;
    'overlay top') echo 0 1 ;;
    'overlay '[01]) echo on off init cleanup format mode window source scale fifo key ;;
    'overlay '[01]' scale') echo bob weave ;;
    capture) echo 0 1 ;;
    'capture '[01]) echo init window dest scale on off cleanup guard backbuffer double polarity ;;
    'capture '[01]' double') echo on off ;;
    'capture '[01]' polarity') echo normal inverted ;;
    synclock) echo on off vcr tvmode ;;
    'synclock vcr') echo on off ;;
    'synclock on '*) echo --standard --clock --variant --no-color ;;
    genlock) echo on off output ;;
    'genlock on '* | 'videoclock on '*) echo --standard --clock --variant ;;
    'genlock output') echo on off ;;
    'genlock output on '* | 'genlock output off '*) echo --standard --variant ;;
    videoclock) echo on off ;;
    crt) echo write cleanup ;;
    'crt write') echo pal ntsc ;;
    fetch) echo hold release ;;
    grab | 'grab '*) echo --engine --frames --format -o --source ;;
    esac
}

_kova_kovactl() {
    local words cword i
    _kova_words
    local cur=${words[cword]} prev=${words[cword - 1]} command=()
    for ((i = 1; i < cword; i++)); do
        if ((${#command[@]})); then
            command+=("${words[i]}")
        else
            case ${words[i]} in
            --set | --fail | --trace | --dump | --state-dir) ((i++)) ;;
            -*) ;;
            *) command+=("${words[i]}") ;;
            esac
        fi
    done
    if ((${#command[@]} == 0)); then
        if [[ $cur == --*=* ]]; then
            _kova_option_value "${cur%%=*}" "${cur#*=}" && return
        fi
        _kova_option_value "$prev" "$cur" && return
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '--sim --set --fail --trace --dump --state-dir --json -y --yes -n
                --dry-run --help --version' -- "$cur"))
            return
        fi
    fi
    case "${command[*]}" in
    'reg get' | 'reg set') _kova_complete_engine_register "$cur"; return ;;
    'synclock on '* | 'genlock on '* | 'genlock output '?*' '* | 'videoclock on '*)
        [[ $prev == --standard ]] && { COMPREPLY=($(compgen -W 'pal ntsc' -- "$cur")); return; } ;;
    'synclock on' | 'genlock on' | 'genlock output on' | 'genlock output off' | 'videoclock on')
        COMPREPLY=($(compgen -W '0 1 2 3' -- "$cur")); return ;;
    'grab'*)
        case $prev in
        --format) COMPREPLY=($(compgen -W 'y4m png' -- "$cur")); return ;;
        --engine) COMPREPLY=($(compgen -W '0 1' -- "$cur")); return ;;
        --source) COMPREPLY=($(compgen -f -W 'pal ntsc none' -- "$cur")); return ;;
        -o) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        esac ;;
    'screenshot') COMPREPLY=($(compgen -f -X '!*.png' -- "$cur")); return ;;
    esac
    COMPREPLY=($(compgen -W "$(_kova_kovactl_next "${command[@]}")" -- "$cur"))
}

complete -F _kova_capview capview
complete -F _kova_kovasim kovasim
complete -F _kova_kovactl kovactl
