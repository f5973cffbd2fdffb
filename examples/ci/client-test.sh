#!/usr/bin/env bash
# A client's test against Quib-Server in CI: start the server, run the client,
# and pass on the server's verdict.
#
#   examples/ci/client-test.sh CLIENT [ARGS...]
#
# CLIENT is your client's test command. It connects to 127.0.0.1 on the port
# that the ready file names ($QUIB_READY: a JSON object with "address" and
# "port"), or on the port exported to it as QUIB_PORT, and plays the road.
# When it ends, the server is stopped (or it stops on its own at the first
# violation, or after QUIB_WITHIN seconds, default 30), and its exit status,
# the verdict on what the client did, is this script's:
#   0  every expectation met        3  an expectation not met
#   1  the server could not start   4  a violation under --strict
#   2  a usage error                (and the client's own status when it failed)
# The journal of the run (JSON Lines) is left in $QUIB_JOURNAL for the CI's
# artifacts, the server's summary on standard error.
set -euo pipefail
if [ $# -eq 0 ]; then
  echo "usage: examples/ci/client-test.sh CLIENT [ARGS...]" >&2
  exit 2
fi

server=${QUIB_SERVER:-quib-server}
work=${QUIB_WORK:-$(mktemp -d)}
export QUIB_READY=$work/quib.ready
export QUIB_JOURNAL=${QUIB_JOURNAL:-$work/journal.jsonl}
expect=${QUIB_EXPECT:-loaded}

"$server" --headless --fast --ready-file "$QUIB_READY" --journal "$QUIB_JOURNAL" \
  --expect "$expect" --within "${QUIB_WITHIN:-30}" --strict </dev/null &
server_pid=$!

# The ready file appears once the server listens; no sleep, no grep.
for _ in $(seq 1 500); do
  [ -e "$QUIB_READY" ] && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.01
done
if [ ! -e "$QUIB_READY" ]; then
  # The server ended before it listened (its status says why), or did not
  # listen in time: either way it could not start.
  if kill -0 "$server_pid" 2>/dev/null; then
    echo "client-test: the server did not listen within 5 seconds" >&2
    kill -TERM "$server_pid" 2>/dev/null || true
    wait "$server_pid" || true
    exit 1
  fi
  wait "$server_pid" || exit $?
  exit 1
fi
QUIB_PORT=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["port"])' "$QUIB_READY")
export QUIB_PORT

client_status=0
"$@" || client_status=$?

# The client is done: the server ends, and says whether it saw what was
# expected (it may have ended already, at a violation or at the deadline).
kill -TERM "$server_pid" 2>/dev/null || true
server_status=0
wait "$server_pid" || server_status=$?
if [ "$server_status" -ne 0 ]; then
  exit "$server_status"
fi
exit "$client_status"
