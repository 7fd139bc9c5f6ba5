#!/usr/bin/env bash
# Holds the man pages to the programs' own help: every command that
# `hnas-host --help` lists has an entry in hnas-host.1, every option that
# `hnas-host COMMAND --help` lists is named in that command's entry (or among
# the global options), every option of `hnas-arraysim --help` is in
# hnas-arraysim.1, every exit code a help text lists is in the page's EXIT
# STATUS section, and every variable hnas-host --help names is in its
# ENVIRONMENT section.
#   check-man-pages.sh HNAS-HOST HNAS-ARRAYSIM MAN-DIR
set -uo pipefail
host=$1
arraysim=$2
mandir=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
missing() { echo "missing from $1: $2" >&2; failures=$((failures + 1)); }

# The page's source as plain text: "\-" is "-", fonts and quotes dropped.
normalise() {
  sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e "s/\\\\(aq/'/g" "$1"
}

# The lines of a page's section (.SH NAME up to the next .SH).
section() {
  awk -v name="$2" '/^\.SH / {on = ($0 == ".SH " name || $0 == ".SH \"" name "\"")} on' "$1"
}

# The options of a help text's "Options:" block: the leading words that
# start with "-" of each line, before the description.
help_options() {
  awk '/^Options:/ {on = 1; next} on && /^[^ ]/ {on = 0}
       on && /^  -/ {sub(/^  /, ""); sub(/  .*/, ""); n = split($0, w, /[ ,]+/)
                     for (i = 1; i <= n; i++) if (w[i] ~ /^-/) print w[i]}'
}

# The exit codes a help text lists: the numbers that open an item of its
# "Exit codes:" paragraph ("0 done, 1 host error, ...").
help_exit_codes() {
  awk '/Exit codes:/ {on = 1} on && /^$/ {on = 0} on' | tr '\n' ' ' |
    grep -oE '(^|[ ,(:])[0-9]+ [a-z]' | grep -oE '[0-9]+' | sort -un
}

# Whether TEXT names WORD as a whole word (an option or a command name).
names() {
  grep -qE -- "(^|[^a-zA-Z0-9-])$(printf '%s' "$2" | sed 's/[.[\*^$]/\\&/g')([^a-zA-Z0-9-]|$)" "$1"
}

check_exit_codes() {  # page-text help-text page-name
  section "$1" "EXIT STATUS" >"$work/exit"
  for code in $(help_exit_codes <"$2"); do
    grep -qx "\.B $code" "$work/exit" || missing "$3" "exit code $code (EXIT STATUS)"
  done
}

# --- hnas-host
page=$work/hnas-host.1
normalise "$mandir/hnas-host.1" >"$page"
"$host" --help >"$work/main-help" || { echo "hnas-host --help failed" >&2; exit 1; }
commands=$(awk '/^Commands:/ {on = 1; next} on && /^$/ {on = 0} on && /^  [a-z]/ {print $1}' "$work/main-help")
[ -n "$commands" ] || { echo "hnas-host --help lists no command" >&2; exit 1; }
check_exit_codes "$page" "$work/main-help" hnas-host.1
# Every variable the help names ($HNAS_...) has an entry in ENVIRONMENT.
section "$page" ENVIRONMENT >"$work/environment"
for variable in $(grep -oE '\$[A-Z][A-Z_]+' "$work/main-help" | tr -d '$' | sort -u); do
  grep -qx "\.B $variable" "$work/environment" || missing hnas-host.1 "variable $variable (ENVIRONMENT)"
done
section "$page" "GLOBAL OPTIONS" >"$work/global"

# Each command's entry in COMMANDS: a top-level ".TP" whose tag starts with
# the command's name, up to the next top-level ".TP" or subsection (the
# command's own options are items inside ".RS" ... ".RE").
section "$page" COMMANDS >"$work/commands"
for command in $commands; do
  awk -v c="$command" '
    /^\.RS/ {depth++} /^\.RE/ {depth--}
    /^\.SS / {on = 0}
    depth == 0 && /^\.TP/ {tag = 1; on = 0; next}
    tag {tag = 0; w = $0; sub(/^\.BI? "?/, "", w); sub(/[ "].*/, "", w); if (w == c) on = 1}
    on' "$work/commands" >"$work/entry"
  if [ ! -s "$work/entry" ]; then
    missing hnas-host.1 "an entry for the command $command"
    continue
  fi
  "$host" "$command" --help >"$work/help" || { missing hnas-host.1 "($command --help failed)"; continue; }
  for option in $(help_options <"$work/help"); do
    names "$work/entry" "$option" || names "$work/global" "$option" ||
      missing hnas-host.1 "$command's option $option"
  done
  check_exit_codes "$page" "$work/help" hnas-host.1
done

# --- hnas-arraysim
page=$work/hnas-arraysim.1
normalise "$mandir/hnas-arraysim.1" >"$page"
"$arraysim" --help >"$work/sim-help" || { echo "hnas-arraysim --help failed" >&2; exit 1; }
options=$(grep -oE -- '(^|[ [|])--?[a-z][a-z-]*' "$work/sim-help" | grep -oE -- '--?[a-z][a-z-]*' | sort -u)
[ -n "$options" ] || { echo "hnas-arraysim --help lists no option" >&2; exit 1; }
section "$page" OPTIONS >"$work/sim-options"
for option in $options; do
  names "$work/sim-options" "$option" || missing hnas-arraysim.1 "option $option (OPTIONS)"
done
check_exit_codes "$page" "$work/sim-help" hnas-arraysim.1

[ "$failures" -eq 0 ] || exit 1
echo "man pages name every command, option and exit code of the help"
