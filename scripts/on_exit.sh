# shellcheck shell=bash
# Sourced by the scripts that must undo what they set up however they end.
#
#   on_exit COMMAND   also run COMMAND when the script ends, for any reason
#                     but KILL; the latest added runs first
#
# Every COMMAND runs, whatever the others do; one that fails makes the
# script's status 1 if it was 0, so a clean-up that went wrong is never
# reported as success. An EXIT trap set before the first on_exit is kept and
# runs last. Bash runs an EXIT trap on a fatal signal too, but with $? still
# holding the status of the last command; exiting from the signal's own trap
# makes $?, and the script's status, say that the run was cut short.

ON_EXIT_COMMANDS=()

on_exit_run() {
    local on_exit_status=$? index
    for ((index = ${#ON_EXIT_COMMANDS[@]} - 1; index >= 0; index--)); do
        # In this shell, so that a command can wait for the script's
        # children, and with $? still the script's status; `||` keeps
        # errexit from skipping the rest.
        eval "on_exit_return $on_exit_status; ${ON_EXIT_COMMANDS[index]}" ||
            { [ "$on_exit_status" -ne 0 ] || on_exit_status=1; }
    done
    exit "$on_exit_status"
}

on_exit_return() { return "$1"; }

# on_exit_keep trap -- COMMAND EXIT: what `trap -p EXIT` prints.
on_exit_keep() { ON_EXIT_COMMANDS+=("$3"); }

on_exit() {
    if [ ${#ON_EXIT_COMMANDS[@]} -eq 0 ]; then
        local earlier
        earlier=$(trap -p EXIT)
        [ -z "$earlier" ] || eval "on_exit_keep $earlier"
        trap on_exit_run EXIT
        trap 'exit 129' HUP
        trap 'exit 130' INT
        trap 'exit 143' TERM
    fi
    ON_EXIT_COMMANDS+=("$1")
}
