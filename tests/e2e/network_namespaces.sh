#!/usr/bin/env bash
# The network rates on real kernel interfaces: a host with a bridge, two
# containers on veth pairs, an uplink to an "internet" namespace that carries
# the default route, and a tun VPN across that uplink. Known UDP traffic is
# sent each way; the status line's r and w must match what the uplink carried
# (within 5 %), and traffic between the containers must add nothing.
#
# Everything lives in namespaces of its own: the machine's network and mounts
# are not touched. Inside a namespace no interface has a device, so the
# default route's uplink is what counts, as in a real container.
#
# Usage: network_namespaces.sh <kivo_status_line>
# Exit 77 (skipped, with the reason printed) when namespaces cannot be made.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
printer=${1:?usage: network_namespaces.sh <kivo_status_line>}
SKIP=77
RATE=102400  # bytes of payload a second: 100 KB/s
LINES=6      # status lines per case; the first two only settle the rates

skip() {
  echo "SKIPPED: $*"
  exit "$SKIP"
}
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

if [ "${1:-}" != _inside ]; then
  [ -x "$printer" ] || fail "$printer is missing: build it first"
  for tool in ip unshare socat python3 mount; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh installs it)"
  done
  # New network and mount namespaces for the whole test: as root directly,
  # otherwise as root of a new user namespace where the kernel allows one.
  if [ "$(id -u)" -eq 0 ]; then
    how=(unshare --net --mount --propagation private)
  else
    how=(unshare --map-root-user --net --mount --propagation private)
  fi
  "${how[@]}" true 2>/dev/null || skip "cannot create network namespaces here (${how[*]} failed)"
  exec "${how[@]}" "$0" _inside "$printer"
fi
printer=$2

# --- The topology -------------------------------------------------------------

# ip netns keeps its namespaces in /run/netns: a private one, gone with us.
mkdir -p /run/netns 2>/dev/null || skip "cannot make /run/netns"
mount -t tmpfs kivo-netns /run/netns || skip "cannot mount a private /run/netns"
# This namespace's own sysfs, so /sys/class/net lists its interfaces.
mount -t sysfs sysfs /sys || skip "cannot mount sysfs in the new network namespace"

pids=()
# ip netns exec waits on its command in a child: each namespace's own
# processes are ended by their pids there.
cleanup() {
  local pid ns
  for ns in c1 c2 wan; do
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill "$pid" 2>/dev/null || true; done
  done
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

in_ns() {
  local ns=$1
  shift
  ip netns exec "$ns" "$@"
}

ip link set lo up
for ns in c1 c2 wan; do
  ip netns add "$ns" || skip "ip netns add failed"
  in_ns "$ns" ip link set lo up
done
ip link add br0 type bridge
ip addr add 10.10.0.1/24 dev br0
ip link set br0 up
for ns in c1 c2; do
  ip link add "v$ns" type veth peer name eth0 netns "$ns"
  ip link set "v$ns" master br0 up
done
in_ns c1 ip addr add 10.10.0.11/24 dev eth0
in_ns c2 ip addr add 10.10.0.12/24 dev eth0
for ns in c1 c2; do
  in_ns "$ns" ip link set eth0 up
  in_ns "$ns" ip route add default via 10.10.0.1
done
ip link add up0 type veth peer name wan0 netns wan
ip addr add 10.20.0.1/24 dev up0
ip link set up0 up
in_ns wan ip addr add 10.20.0.2/24 dev wan0
in_ns wan ip link set wan0 up
in_ns wan ip route add 10.10.0.0/24 via 10.20.0.1
ip route add default via 10.20.0.2
echo 1 >/proc/sys/net/ipv4/ip_forward

# The VPN: a tun device at each end, its packets carried in UDP over the uplink.
if [ -c /dev/net/tun ]; then
  socat UDP-DATAGRAM:10.20.0.2:7000,bind=10.20.0.1:7000 TUN:10.78.0.1/24,tun-name=tun0,iff-up \
    >/dev/null 2>&1 &
  pids+=($!)
  in_ns wan socat UDP-DATAGRAM:10.20.0.1:7000,bind=10.20.0.2:7000 \
    TUN:10.78.0.2/24,tun-name=tun0,iff-up >/dev/null 2>&1 &
  pids+=($!)
fi

# --- Traffic and readings -------------------------------------------------------

# A UDP sink on port 9000 in namespace $1 ("-" for this one).
sink() {
  local ns=$1
  local program='import socket
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("0.0.0.0", 9000))
while True:
    s.recv(65536)'
  if [ "$ns" = - ]; then python3 -c "$program" & else in_ns "$ns" python3 -c "$program" & fi
  pids+=($!)
}

# Sends RATE bytes of payload a second, in 1000-byte datagrams, from
# namespace $1 ("-" for this one) to address $2, for $3 seconds.
send() {
  local ns=$1 address=$2 seconds=$3
  local program='import socket, sys, time
address, rate, seconds = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
payload = b"k" * 1000
start = time.monotonic()
sent = 0
while True:
    now = time.monotonic() - start
    if now >= seconds:
        break
    if sent < rate * now:
        s.sendto(payload, (address, 9000))
        sent += len(payload)
    else:
        time.sleep(0.002)'
  if [ "$ns" = - ]; then
    python3 -c "$program" "$address" "$RATE" "$seconds" &
  else
    in_ns "$ns" python3 -c "$program" "$address" "$RATE" "$seconds" &
  fi
  sender=$!
}

# "received sent" bytes of interface $1 in this namespace.
counters() { awk -v name="$1:" '$1 == name {print $2, $10}' /proc/net/dev; }

# The average r and w of status lines 3..LINES in KB/s, and the uplink's own
# rates over the same span: "r w up_r up_w".
measure() {
  local line number=0 first=() last=() start=0 end=0 r_sum=0 w_sum=0
  while IFS= read -r line; do
    number=$((number + 1))
    if [ $number -eq 2 ]; then
      read -r -a first <<<"$(counters up0)"
      start=$(date +%s.%N)
    fi
    if [ $number -ge 3 ]; then
      [[ $line =~ r\[\ *([0-9.]+)\]\ w\[\ *([0-9.]+)\] ]] || fail "no rates in: $line"
      r_sum=$(awk -v a="$r_sum" -v b="${BASH_REMATCH[1]}" 'BEGIN {print a + b}')
      w_sum=$(awk -v a="$w_sum" -v b="${BASH_REMATCH[2]}" 'BEGIN {print a + b}')
    fi
    echo "    $line" >&2
  done < <("$printer" "$LINES")
  read -r -a last <<<"$(counters up0)"
  end=$(date +%s.%N)
  awk -v r="$r_sum" -v w="$w_sum" -v n=$((LINES - 2)) -v t0="$start" -v t1="$end" \
    -v rx=$((last[0] - first[0])) -v tx=$((last[1] - first[1])) \
    'BEGIN {printf "%.2f %.2f %.2f %.2f\n", r / n, w / n, rx / 1024 / (t1 - t0), tx / 1024 / (t1 - t0)}'
}

# within A B: A is within 5 % of B
within() { awk -v a="$1" -v b="$2" 'BEGIN {exit !(a >= b * 0.95 && a <= b * 1.05)}'; }
below() { awk -v a="$1" -v b="$2" 'BEGIN {exit !(a < b)}'; }

# check NAME SENDER_NS ADDRESS EXPECT: EXPECT is "r" or "w" (the uplink way
# that carries the traffic) or "none" (nothing leaves the host).
check() {
  local name=$1 from=$2 address=$3 expect=$4 r w up_r up_w
  echo "--- $name"
  send "$from" "$address" $((LINES + 3))
  sleep 1
  read -r r w up_r up_w <<<"$(measure)"
  wait "$sender" || true
  [ -n "$up_w" ] || fail "$name: no readings"
  echo "    status line r $r w $w, uplink r $up_r w $up_w (KB/s)"
  case $expect in
    r)
      below 90 "$up_r" || fail "$name: the uplink carried only $up_r KB/s"
      within "$r" "$up_r" || fail "$name: r is $r KB/s, the uplink received $up_r KB/s"
      below "$w" 5 || fail "$name: w is $w KB/s, though nothing was sent out"
      ;;
    w)
      below 90 "$up_w" || fail "$name: the uplink carried only $up_w KB/s"
      within "$w" "$up_w" || fail "$name: w is $w KB/s, the uplink sent $up_w KB/s"
      below "$r" 5 || fail "$name: r is $r KB/s, though nothing came in"
      ;;
    none)
      below "$r" 5 || fail "$name: r is $r KB/s for traffic that never left the host"
      below "$w" 5 || fail "$name: w is $w KB/s for traffic that never left the host"
      ;;
  esac
}

sink c1
sink c2
sink wan
sink -
sleep 0.5
check "a container downloads" wan 10.10.0.11 r
check "a container uploads" c1 10.20.0.2 w
check "one container sends to another" c1 10.10.0.12 none
check "the host sends to a container" - 10.10.0.11 none
if ip link show tun0 >/dev/null 2>&1; then
  check "the host uploads through the VPN" - 10.78.0.2 w
  check "the host downloads through the VPN" wan 10.78.0.1 r
else
  echo "--- no tun device here: the VPN cases are left out"
fi
echo "PASS: the rates count the uplink's traffic once, in the right direction"
