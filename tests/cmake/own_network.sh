#!/bin/sh
# Runs a test program that binds or sends to the fixed loopback ports 7551-7559 in a
# network namespace of its own, so that another program holding one of those ports on
# the machine (or another test) cannot make it fail: `unshare -n` as root (CI), else
# `unshare -rn` where unprivileged user namespaces are allowed; the namespace's loopback
# is brought up first. Where no namespace can be made, the ports are tried on the
# machine's loopback: all free, the program runs there; one held, the test is skipped
# (exit 77, CTest's SKIP_RETURN_CODE) with a line naming the port.
#
# Usage: own_network.sh <program> [arguments...]
for flags in -n -rn; do
  if unshare $flags sh -c 'ip link set lo up' >/dev/null 2>&1; then
    exec unshare $flags sh -c 'ip link set lo up && exec "$@"' own_network "$@"
  fi
done

python=/usr/bin/python3
[ -x "$python" ] || python=$(command -v python3)
if [ -n "$python" ]; then
  busy=$("$python" - <<'PY'
import socket
for port in range(7551, 7560):
    for kind in (socket.SOCK_DGRAM, socket.SOCK_STREAM):
        s = socket.socket(socket.AF_INET, kind)
        try:
            s.bind(("127.0.0.1", port))
        except OSError:
            print(port)
            raise SystemExit
        finally:
            s.close()
PY
)
  if [ -n "$busy" ]; then
    echo "SKIPPED: loopback port $busy is held by another program, and no network" \
         "namespace of its own could be made for this test (unshare -n needs root or" \
         "user namespaces)"
    exit 77
  fi
fi
exec "$@"
