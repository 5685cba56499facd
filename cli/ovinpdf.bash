# Bash completion for ovinpdf: options, the values of --orientation, --fit
# and --page-size (also after a shortened option and after "="), and file
# names. Installed as share/bash-completion/completions/ovinpdf.

# COMPREPLY as compgen's words, one a line, so that file names keep their
# spaces.
_ovinpdf_reply() {
    mapfile -t COMPREPLY < <(compgen "$@")
}

_ovinpdf() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    local options='--output --text --from-file --null --temp --page-size
        --imgsize --orientation --fit --border --no-auto-orient --default-dpi --dpi
        --jpeg-quality --lossless --first-frame --pdfa --ocr --ocr-orient --max-megapixels
        --rotate --rotation
        --sort --keep-going --title
        --author --subject --keywords --creator --producer --creation-date --modification-date --bookmark
        --sub-bookmark --quiet --help --version'

    # Everything after "--" is a file name.
    local i
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} == -- ]]; then
            compopt -o filenames 2>/dev/null
            _ovinpdf_reply -f -- "$cur"
            return
        fi
    done

    # The option whose value is being completed: the word before, or the
    # part before "=" (which bash makes a word of its own where "=" breaks
    # words, and leaves in the word where it does not).
    local option=$prev prefix=
    if [[ $cur == = ]]; then
        cur=
    elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then
        option=${COMP_WORDS[COMP_CWORD - 2]}
    elif [[ $cur == --*=* ]]; then
        option=${cur%%=*}
        prefix=$option=
        cur=${cur#*=}
    fi
    # A shortened long option stands for the one it is a prefix of.
    if [[ $option == --?* ]]; then
        local o match='' count=0
        for o in $options; do
            if [[ $o == "$option" ]]; then
                match=$o count=1
                break
            elif [[ $o == "$option"* ]]; then
                match=$o
                ((count++))
            fi
        done
        ((count == 1)) && option=$match
    fi
    local before=
    ((COMP_CWORD > 2)) && before=${COMP_WORDS[COMP_CWORD - 2]}

    local values=
    case $option in
    --orientation) values='portrait landscape auto' ;;
    --fit) values='into fill exact shrink enlarge' ;;
    --page-size) values='A0 A1 A2 A3 A4 A5 A6 B4 B5 C4 C5 C6 Letter Legal Tabloid' ;;
    --sort) values='natural name none' ;;
    --rotate) values='0 90 180 270' ;;
    --ocr)
        # The installed languages, after the last "+" of a list.
        local data
        for data in /usr/share/tesseract-ocr/*/tessdata/*.traineddata; do
            data=${data##*/}
            data=${data%.traineddata}
            [[ -e /usr/share/tesseract-ocr && $data != osd && $data != '*' ]] && values+=" $data"
        done
        if [[ $cur == *+* ]]; then
            prefix+=${cur%+*}+
            cur=${cur##*+}
        fi
        ;;
    -o | --output | --from-file | --temp | --bookmark | --sub-bookmark)
        compopt -o filenames 2>/dev/null
        _ovinpdf_reply -f -- "$cur"
        return
        ;;
    --text | --border | --default-dpi | --dpi | --jpeg-quality | --max-megapixels | --title | \
        --author | --subject | --keywords | --creator | --producer | \
        --creation-date | --modification-date)
        COMPREPLY=()
        return
        ;;
    esac
    if [[ -n $values ]]; then
        _ovinpdf_reply -P "$prefix" -W "$values" -- "$cur"
        return
    fi
    # The title of --bookmark PAGE TITLE and --sub-bookmark's page and title.
    if [[ $before == --b* && --bookmark == "$before"* ]]; then
        COMPREPLY=()
        return
    fi
    if [[ $cur == -* ]]; then
        _ovinpdf_reply -W "$options" -- "$cur"
        [[ $cur == - ]] && COMPREPLY+=(-o -0 -q -h)
        return
    fi
    compopt -o filenames 2>/dev/null
    _ovinpdf_reply -f -- "$cur"
}
complete -F _ovinpdf ovinpdf
