#!/usr/bin/env bash
# The man pages and bash completions follow the programs' --help: every command
# and option that --help names is in the man page (in the command's own section
# for halvek-cli) and offered by the completion, and the programs and the man
# pages carry the project's version.
#   docs_check.sh BIN_DIR MAN_DIR COMPLETION_DIR VERSION
set -u
bin=$1 man=$2 completion=$3 version=$4
export QT_QPA_PLATFORM=offscreen
status=0
complain() {
    echo "docs: $*"
    status=1
}

# The options a help text names.
options_of() { grep -oE -- '--[a-z0-9][a-z0-9-]*' <<<"$1" | sort -u; }
# The first words of the lines under a heading ("commands:"), up to the next unindented line.
listed_under() { awk -v head="$2" '$0 == head {on = 1; next} on && /^  [^ ]/ {print $1; next} on {exit}' <<<"$1"; }
# A man page as text: font changes and escaped hyphens undone.
man_text() { sed -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' -e 's/\\&//g' "$1"; }
# One command's section of halvek-cli's page.
man_section() { awk -v head=".SS $2" '$0 == head {on = 1; next} /^\.S[HS] / {on = 0} on' <<<"$1"; }
names() { grep -qE -- "(^|[^a-zA-Z0-9-])$2([^a-zA-Z0-9-]|\$)" <<<"$1"; }
# What the completion offers for a command line whose last word is being typed.
offered() {
    local file=$1 function=$2
    shift 2
    bash -c 'source "$1"; f=$2; shift 2; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); "$f"; printf "%s\n" "${COMPREPLY[@]}"' \
        _ "$file" "$function" "$@"
}
in_list() { grep -qxF -- "$2" <<<"$1"; }

# check WHERE HELP MAN_TEXT OFFERED: every option of HELP in MAN_TEXT and in OFFERED.
check() {
    local where=$1 help=$2 text=$3 offer=$4 option
    for option in $(options_of "$help"); do
        names "$text" "$option" || complain "$where: $option is not in the man page"
        in_list "$offer" "$option" || complain "$where: the completion does not offer $option"
    done
}

check_version() {
    local program=$1
    [ -x "$bin/$program" ] || return 0
    "$bin/$program" --version | grep -qE "(^| )$version\$" ||
        complain "$program --version does not say $version: $("$bin/$program" --version)"
    head -n 5 "$man/$program.1" | grep -q "^\.TH .*\"Halvek $version\"" ||
        complain "$program.1 does not carry the version $version"
    ! grep -q '@[A-Z_]*@' "$man/$program.1" || complain "$program.1 was not filled in"
}

for program in halvek halvek-sim; do
    [ -x "$bin/$program" ] || continue
    function=_${program//-/_}
    check "$program" "$("$bin/$program" --help 2>&1)" "$(man_text "$man/$program.1")" \
        "$(offered "$completion/$program" "$function" "$program" --)"
    check_version "$program"
done

cli_page=$(man_text "$man/halvek-cli.1")
cli_completion=$completion/halvek-cli
top=$("$bin/halvek-cli" --help)
check halvek-cli "$top" "$cli_page" "$(offered "$cli_completion" _halvek_cli halvek-cli --)"
check_version halvek-cli
commands=$(listed_under "$top" "commands:")
[ -n "$commands" ] || complain "halvek-cli --help lists no commands"
first=$(offered "$cli_completion" _halvek_cli halvek-cli "")
for command in $commands; do
    in_list "$first" "$command" || complain "the completion does not offer the command $command"
    section=$(man_section "$cli_page" "$command")
    [ -n "$section" ] || complain "halvek-cli.1 has no section for $command"
    help=$("$bin/halvek-cli" "$command" --help)
    check "halvek-cli $command" "$help" "$section" "$(offered "$cli_completion" _halvek_cli halvek-cli "$command" --)"
    # What comes after the command: read's targets, set's KEY=VALUE pairs.
    after=$(offered "$cli_completion" _halvek_cli halvek-cli "$command" "")
    for target in $(listed_under "$help" "targets:"); do
        in_list "$after" "$target" || complain "the completion does not offer halvek-cli $command $target"
        names "$section" "$target" || complain "halvek-cli.1 does not name $command's target $target"
    done
    for pair in $(listed_under "$help" "keys:"); do
        key=${pair%%=*}
        IFS='|' read -r -a values <<<"${pair#*=}"
        for value in "${values[@]}"; do
            in_list "$after" "$key=$value" || complain "the completion does not offer halvek-cli $command $key=$value"
        done
        names "$section" "$key" || complain "halvek-cli.1 does not name $command's key $key"
    done
done
# Where a help text tells which device COM N opens, it tells the program's order.
for command in $commands; do
    help=$("$bin/halvek-cli" "$command" --help)
    grep -q "halvek.ini" <<<"$help" || continue
    tr -s ' \n' ' ' <<<"$help" | grep -qF "HALVEK_COM<N> when set, else the device kept for it in halvek.ini" ||
        complain "halvek-cli $command --help tells another order for the device of COM N"
done
# A value after '=' is completed although bash splits the word there
# ("stacker=o" comes as "stacker", "=", "o" and only "o" is replaced).
in_list "$(offered "$cli_completion" _halvek_cli halvek-cli set stacker = o)" optional ||
    complain "the completion does not complete halvek-cli set stacker=o"
in_list "$(offered "$completion/halvek" _halvek halvek --com "")" "1=" ||
    complain "the completion does not offer halvek --com 1="
# halvek-uplink has no completion: its options are held to its man page only.
if [ -x "$bin/halvek-uplink" ]; then
    text=$(man_text "$man/halvek-uplink.1")
    for option in $(options_of "$("$bin/halvek-uplink" --help 2>&1)"); do
        names "$text" "$option" || complain "halvek-uplink: $option is not in the man page"
    done
    check_version halvek-uplink
fi
exit $status
