#!/usr/bin/env bash
# The network lab the probe's end-to-end tests run in: network namespaces
# joined by veth links, nothing in the machine's own namespace.
#
#   scripts/lab.sh up NAME     build the lab; its namespaces are NAME-<role>
#   scripts/lab.sh chain NAME  build the chained lab instead (below)
#   scripts/lab.sh long NAME   build the long lab instead (below)
#   scripts/lab.sh down NAME   remove every namespace of the lab NAME, either kind
#   scripts/lab.sh sweep       remove the labs of runs that are no longer alive
#   scripts/lab.sh stale       list the namespaces of labs whose run is dead
#   scripts/lab.sh check       exit 1, saying why, where no lab can be built
#
# NAME is "ewlab-<pid of the run>-<anything>", so a lab left behind by a
# killed run can be told from one still in use.
#
#   client 192.0.2.10/24 ---- 192.0.2.1 router
#     router 198.51.100.1/28  ---- 198.51.100.2      host (answers)
#     router 198.51.100.17/28 ---- 198.51.100.18     responder (kernel silent)
#     router 198.51.100.33/28 ---- 198.51.100.34     loop (sends 203.0.113.64/26 back)
#   203.0.113.1-6 are rejected by the router's nftables, one ICMP error each;
#   203.0.113.200 has no route in the client; 203.0.113.250 an unreachable one.
# No namespace has a default route, and no link leaves the lab.
#
# The chained lab, for tracing a path hop by hop: three routers in a row.
#   client 192.0.2.10/28 ---- 192.0.2.1 r1
#     r1 192.0.2.17/28 ---- 192.0.2.18 r2
#     r2 198.51.100.1/28 ---- 198.51.100.2 r3
#     r3 203.0.113.1/28 ---- 203.0.113.10 host (answers)
# Each router answers a request that runs out of TTL from its side facing
# the client: hop 1 is 192.0.2.1, hop 2 192.0.2.18, hop 3 198.51.100.2, and
# the host is hop 4.
#
# The long lab, five routers in a row, for a way of many silent hops:
#   client 192.0.2.10/28 ---- 192.0.2.1 r1
#     rN 192.0.2.(16N+1)/28 ---- 192.0.2.(16N+2) rN+1      (N = 1..4)
#     r5 203.0.113.1/28 ---- 203.0.113.10 host (answers)
# Hop N is 192.0.2.1, .18, .34, .50, .66; the host is hop 6.
set -euo pipefail
source "$(dirname "$0")/on_exit.sh"

readonly LAB_PREFIX=ewlab
readonly LAB_ROLES=(client router host responder loop)
readonly CHAIN_ROLES=(client r1 r2 r3 host)
readonly LONG_ROLES=(client r1 r2 r3 r4 r5 host)

in_namespace() {
    ip netns exec "$@"
}

# Every lab namespace: ICMP errors never rate-limited (or a steady outage
# alternates errors and timeouts), and no redirects, set before any link
# exists because each device combines its value with "all".
make_namespace() {
    local namespace=$1
    ip netns add "$namespace"
    ip -n "$namespace" link set lo up
    in_namespace "$namespace" sysctl -q -w \
        net.ipv4.icmp_ratelimit=0 \
        net.ipv4.icmp_ratemask=0 \
        net.ipv4.conf.all.send_redirects=0 \
        net.ipv4.conf.default.send_redirects=0 \
        net.ipv4.conf.all.accept_redirects=0 \
        net.ipv4.conf.default.accept_redirects=0
}

# link NAMESPACE_A DEVICE_A ADDRESS_A NAMESPACE_B DEVICE_B ADDRESS_B
# The pair is made inside the lab: neither end ever appears outside it.
link() {
    ip -n "$1" link add "$2" type veth peer name "$5" netns "$4"
    ip -n "$1" address add "$3" brd + dev "$2"
    ip -n "$4" address add "$6" brd + dev "$5"
    ip -n "$1" link set "$2" up
    ip -n "$4" link set "$5" up
}

route() {
    local namespace=$1
    shift
    ip -n "$namespace" route add "$@"
}

router_rejects() {
    in_namespace "$1" nft -f - <<'EOF'
table ip lab {
    chain forward_filter {
        type filter hook forward priority 0; policy accept;
        ip daddr 203.0.113.1 reject with icmp type net-unreachable
        ip daddr 203.0.113.2 reject with icmp type host-unreachable
        ip daddr 203.0.113.3 reject with icmp type prot-unreachable
        ip daddr 203.0.113.4 reject with icmp type port-unreachable
        ip daddr 203.0.113.5 reject with icmp type admin-prohibited
        ip daddr 203.0.113.6 reject with icmp type frag-needed
    }
}
EOF
}

up() {
    local name=$1 role
    for role in "${LAB_ROLES[@]}"; do
        make_namespace "$name-$role"
    done
    local client=$name-client router=$name-router host=$name-host
    local responder=$name-responder loop=$name-loop
    in_namespace "$client" sysctl -q -w net.ipv4.ping_group_range="0 2147483647"
    in_namespace "$router" sysctl -q -w net.ipv4.ip_forward=1
    in_namespace "$loop" sysctl -q -w net.ipv4.ip_forward=1
    in_namespace "$responder" sysctl -q -w net.ipv4.icmp_echo_ignore_all=1

    link "$client" c0 192.0.2.10/24 "$router" r0 192.0.2.1/24
    link "$router" r1 198.51.100.1/28 "$host" h0 198.51.100.2/28
    link "$router" r2 198.51.100.17/28 "$responder" s0 198.51.100.18/28
    link "$router" r3 198.51.100.33/28 "$loop" l0 198.51.100.34/28

    route "$client" 198.51.100.0/24 via 192.0.2.1
    route "$client" 203.0.113.0/25 via 192.0.2.1
    route "$client" unreachable 203.0.113.250/32
    # The rejected addresses need a route on the router, or it answers
    # "net unreachable" for all of them itself.
    route "$router" 203.0.113.0/26 via 198.51.100.2
    route "$router" 203.0.113.64/26 via 198.51.100.34
    route "$loop" 203.0.113.64/26 via 198.51.100.33
    local back
    for back in "$host:198.51.100.1" "$responder:198.51.100.17" "$loop:198.51.100.33"; do
        route "${back%%:*}" 192.0.2.0/24 via "${back#*:}"
    done
    router_rejects "$router"
}

chain() {
    local name=$1 role
    for role in "${CHAIN_ROLES[@]}"; do
        make_namespace "$name-$role"
    done
    local client=$name-client r1=$name-r1 r2=$name-r2 r3=$name-r3 host=$name-host
    in_namespace "$client" sysctl -q -w net.ipv4.ping_group_range="0 2147483647"
    for role in r1 r2 r3; do
        in_namespace "$name-$role" sysctl -q -w net.ipv4.ip_forward=1
    done

    link "$client" c0 192.0.2.10/28 "$r1" a0 192.0.2.1/28
    link "$r1" a1 192.0.2.17/28 "$r2" b0 192.0.2.18/28
    link "$r2" b1 198.51.100.1/28 "$r3" d0 198.51.100.2/28
    link "$r3" d1 203.0.113.1/28 "$host" h0 203.0.113.10/28

    local prefix
    for prefix in 192.0.2.16/28 198.51.100.0/28 203.0.113.0/28; do
        route "$client" "$prefix" via 192.0.2.1
    done
    route "$r1" 198.51.100.0/28 via 192.0.2.18
    route "$r1" 203.0.113.0/28 via 192.0.2.18
    route "$r2" 192.0.2.0/28 via 192.0.2.17
    route "$r2" 203.0.113.0/28 via 198.51.100.2
    route "$r3" 192.0.2.0/24 via 198.51.100.1
    route "$host" 192.0.2.0/24 via 203.0.113.1
    route "$host" 198.51.100.0/28 via 203.0.113.1
}

# The long lab's subnet N: 0 the client's, 1 to 4 between router N and
# router N+1, 5 the host's.
long_subnet() {
    if [ "$1" -eq 5 ]; then echo 203.0.113.0/28; else echo "192.0.2.$(($1 * 16))/28"; fi
}

# The address at one end of subnet N (1 to 4): near, router N's; far,
# router N+1's.
long_end() {
    local step=1
    [ "$2" = far ] && step=2
    echo "192.0.2.$(($1 * 16 + step))"
}

long() {
    local name=$1 role router subnet
    for role in "${LONG_ROLES[@]}"; do
        make_namespace "$name-$role"
    done
    in_namespace "$name-client" sysctl -q -w net.ipv4.ping_group_range="0 2147483647"
    link "$name-client" c0 192.0.2.10/28 "$name-r1" a0 192.0.2.1/28
    for router in 1 2 3 4 5; do
        in_namespace "$name-r$router" sysctl -q -w net.ipv4.ip_forward=1
    done
    for router in 1 2 3 4; do
        link "$name-r$router" "a$router" "$(long_end "$router" near)/28" \
            "$name-r$((router + 1))" b0 "$(long_end "$router" far)/28"
    done
    link "$name-r5" a5 203.0.113.1/28 "$name-host" h0 203.0.113.10/28
    for subnet in 1 2 3 4 5; do
        route "$name-client" "$(long_subnet "$subnet")" via 192.0.2.1
        route "$name-host" "$(long_subnet "$((subnet - 1))")" via 203.0.113.1
    done
    # Back towards the client through the router before, on through the
    # router after.
    for router in 1 2 3 4 5; do
        for subnet in 0 1 2 3 4 5; do
            if [ "$subnet" -lt "$((router - 1))" ]; then
                route "$name-r$router" "$(long_subnet "$subnet")" \
                    via "$(long_end "$((router - 1))" near)"
            elif [ "$subnet" -gt "$router" ]; then
                route "$name-r$router" "$(long_subnet "$subnet")" via "$(long_end "$router" far)"
            fi
        done
    done
}

lab_namespaces() {
    ip netns list | awk '{print $1}' | grep "^$LAB_PREFIX-" || true
}

# Whatever still runs inside a lab namespace was started there by the lab's
# own run, and would keep the namespace alive after its name is gone. A
# process may end between being listed and being signalled, which is what we
# wanted anyway; one that outlives TERM for a second gets KILL.
end_processes_in() {
    local namespace=$1 signal pids _
    for signal in TERM KILL; do
        mapfile -t pids < <(ip netns pids "$namespace" 2>/dev/null)
        kill -s "$signal" "${pids[@]}" 2>/dev/null || true
        for _ in $(seq 10); do
            [ -z "$(ip netns pids "$namespace" 2>/dev/null)" ] && return 0
            sleep 0.1
        done
    done
}

remove_namespace() {
    end_processes_in "$1"
    ip netns delete "$1"
}

# Goes on past a namespace that cannot be removed, so one failure never
# leaves the rest of the lab behind; the status says whether all went.
remove_namespaces() {
    local namespace status=0
    for namespace in "$@"; do
        remove_namespace "$namespace" || status=1
    done
    return "$status"
}

down() {
    local name=$1 role present=()
    for role in "${LAB_ROLES[@]}" r1 r2 r3 r4 r5; do
        [ -e "/run/netns/$name-$role" ] && present+=("$name-$role")
    done
    remove_namespaces "${present[@]}"
}

stale() {
    local namespace owner
    while read -r namespace; do
        owner=${namespace#"$LAB_PREFIX"-}
        owner=${owner%%-*}
        [[ $owner =~ ^[0-9]+$ ]] && kill -0 "$owner" 2>/dev/null && continue
        echo "$namespace"
    done < <(lab_namespaces)
}

sweep() {
    local namespace left_behind
    mapfile -t left_behind < <(stale)
    for namespace in "${left_behind[@]}"; do
        echo "Removing $namespace, left behind by a run that is gone"
    done
    remove_namespaces "${left_behind[@]}"
}

# Why no lab can be built here, if it cannot: one line for a skip message.
check() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "the network lab needs root (network namespaces, raw sockets)"
    elif [ -z "$(command -v ip)" ] || [ -z "$(command -v nft)" ]; then
        echo "the network lab needs ip and nft (packages iproute2, nftables)"
    elif ! mountpoint -q /; then
        echo "/ is not a mount point, and ip netns exec must remount it (in a chroot, bind its root onto itself first)"
    elif ! unshare --net true 2>/dev/null; then
        echo "no network namespace can be made here (unshare --net fails)"
    else
        return 0
    fi
    return 1
}

# A lab that could not be built completely is removed again, whatever stopped
# the build: an error, or a signal.
up_or_remove() {
    lab_being_built=$2
    on_exit '[ $? -eq 0 ] || down "$lab_being_built"'
    "$1" "$lab_being_built"
}

case ${1:-} in
up) up_or_remove up "$2" ;;
chain) up_or_remove chain "$2" ;;
long) up_or_remove long "$2" ;;
down) down "$2" ;;
sweep) sweep ;;
stale) stale ;;
check) check ;;
*)
    echo "usage: $0 up NAME | chain NAME | long NAME | down NAME | sweep | stale | check" >&2
    exit 2
    ;;
esac
