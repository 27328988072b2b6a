#!/usr/bin/env bash
# Runs the helper's lab tests as an unprivileged user, against a copy of the
# probe helper given CAP_NET_RAW ("capable") or left without it ("plain").
# Meant to run inside a lab's client namespace through run_lab.sh, as root,
# which it gives up before the tests start.
#
#   helper_as_user.sh capable|plain HELPER LAB_TESTS
set -euo pipefail
mode=$1 helper=$2 tests=$3

scratch=$(mktemp -d /tmp/ewhelper.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"
install -m 755 "$helper" "$scratch/echowatch-probe"
# The test binary too: the build tree may not be open to other users.
install -m 755 "$tests" "$scratch/lab_tests"
capable=0
if [ "$mode" = capable ]; then
    setcap cap_net_raw+ep "$scratch/echowatch-probe"
    capable=1
fi
sysctl -q -w net.ipv4.ping_group_range="1 0"

setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all \
    env ECHOWATCH_HELPER_UNDER_TEST="$scratch/echowatch-probe" \
    ECHOWATCH_HELPER_CAPABLE="$capable" \
    "$scratch/lab_tests" --gtest_filter='*HelperAsUser*:*BadRequest*:*Flood*:AsUser.*:AsUserWithCapableHelper.*'
