# SPDX-License-Identifier: MIT
# bash completion for brimsel-ctl: options, accessory names after --device,
# colour names after --color and --idle, and files after --profile and
# --check-profile. The options are read from the
# program's --help each time, so options added later complete without a
# change here.

# QColor's SVG colour names, less "transparent", which brimsel-ctl refuses.
_brimsel_ctl_colours='
    aliceblue antiquewhite aqua aquamarine azure beige bisque black
    blanchedalmond blue blueviolet brown burlywood cadetblue chartreuse
    chocolate coral cornflowerblue cornsilk crimson cyan darkblue darkcyan
    darkgoldenrod darkgray darkgreen darkgrey darkkhaki darkmagenta
    darkolivegreen darkorange darkorchid darkred darksalmon darkseagreen
    darkslateblue darkslategray darkslategrey darkturquoise darkviolet deeppink
    deepskyblue dimgray dimgrey dodgerblue firebrick floralwhite forestgreen
    fuchsia gainsboro ghostwhite gold goldenrod gray green greenyellow grey
    honeydew hotpink indianred indigo ivory khaki lavender lavenderblush
    lawngreen lemonchiffon lightblue lightcoral lightcyan lightgoldenrodyellow
    lightgray lightgreen lightgrey lightpink lightsalmon lightseagreen
    lightskyblue lightslategray lightslategrey lightsteelblue lightyellow lime
    limegreen linen magenta maroon mediumaquamarine mediumblue mediumorchid
    mediumpurple mediumseagreen mediumslateblue mediumspringgreen
    mediumturquoise mediumvioletred midnightblue mintcream mistyrose moccasin
    navajowhite navy oldlace olive olivedrab orange orangered orchid
    palegoldenrod palegreen paleturquoise palevioletred papayawhip peachpuff
    peru pink plum powderblue purple red rosybrown royalblue saddlebrown salmon
    sandybrown seagreen seashell sienna silver skyblue slateblue slategray
    slategrey snow springgreen steelblue tan teal thistle tomato turquoise
    violet wheat white whitesmoke yellow yellowgreen'

_brimsel_ctl_options()
{
    local options
    # Only the Options section, whose lines start with "  -c, --color" or
    # "  --name"; other lines of the help may start with an option too.
    options=$("$1" --help 2>/dev/null |
        sed -n '/^Options:$/,/^$/s/^ \{1,\}\(-[A-Za-z], \)\{0,1\}\(--[a-z][a-z0-9-]*\).*/\2/p')
    echo "${options:---list --color --stream --device --help --version}"
}

_brimsel_ctl()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local program=${COMP_WORDS[0]/#\~/$HOME}
    # "--color=re" comes as the words "--color", "=" and "re".
    if [[ $cur == = ]]; then
        cur=
    elif [[ $prev == = && $COMP_CWORD -ge 2 ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi

    case $prev in
    -c | --color | --colour | --idle)
        COMPREPLY=($(compgen -W "$_brimsel_ctl_colours" -- "${cur,,}"))
        return
        ;;
    --ac | --gt7 | --shift-at)
        # An address or a number: nothing to offer.
        COMPREPLY=()
        return
        ;;
    --profile | --check-profile)
        # A file (--check-profile's is optional, and may be an option next).
        if [[ $prev == --profile || $cur != -* ]]; then
            COMPREPLY=($(compgen -f -- "$cur"))
            return
        fi
        ;;
    -d | --device)
        # A comma list: complete the name after the last comma, from those
        # not given yet; names are in any case.
        local head= name names=
        [[ $cur == *,* ]] && head=${cur%,*},
        for name in handbrake sq h; do
            [[ ,${head,,} == *,$name,* ]] || names+=" $name"
        done
        local last=${cur##*,}
        COMPREPLY=($(compgen -P "$head" -W "$names" -- "${last,,}"))
        return
        ;;
    esac
    if [[ $cur == -* || -z $cur ]]; then
        COMPREPLY=($(compgen -W "$(_brimsel_ctl_options "$program")" -- "$cur"))
    fi
}

complete -F _brimsel_ctl brimsel-ctl
