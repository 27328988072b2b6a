# shellcheck shell=bash
# Sourced by the scripts that must undo what they set up however they end.
#
#   on_exit COMMAND   run COMMAND when the script ends, for any reason but KILL
#
# Bash runs an EXIT trap on a fatal signal too, but with $? still holding the
# status of the last command; exiting from the signal's own trap makes $?, and
# the script's status, say that the run was cut short.
on_exit() {
    trap "$1" EXIT
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM
}
