#!/bin/sh
# One scale in a test pipeline: the emulator started without a window, a
# virtual serial port for the program under test, 12.5 kg placed through the
# control API, the stable frame read off the port, and the emulator ended.
#
#   docs/headless-example.sh [path to korvanteslin]
set -eu

program=${1:-korvanteslin}
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT

"$program" --headless --data-dir "$work/data" --virtual "$work/scale" --control 0 >"$work/out" 2>"$work/err" &
pid=$!

# The emulator says where its API and its port are once they are ready.
for _ in $(seq 100); do
  grep -q '^control: ' "$work/out" && grep -q '^virtual: ' "$work/out" && break
  sleep 0.1
done
api=$(sed -n 's/^control: //p' "$work/out")
port=$(sed -n 's/^virtual: //p' "$work/out")
echo "API at $api, scale on $port"

# The program under test would open the port like any serial device; here a
# plain reader keeps what arrives.
stty -F "$port" raw -echo
cat "$port" >"$work/received" &
reader=$!

curl -fsS --json '{"weight1": "12.5"}' "$api/weights" >/dev/null
curl -fsS --json '{"load": "weight1"}' "$api/load" >/dev/null

# The frame a ZMR-1 sends for 12.5 kg, stable, in the format ###0.0.
stable='02 20 30 30 31 32 2e 35 42 6b 67 0d'
for _ in $(seq 50); do
  od -An -v -tx1 "$work/received" | tr -s ' \n' '  ' | grep -q "$stable" && break
  sleep 0.1
done
kill "$reader"
if od -An -v -tx1 "$work/received" | tr -s ' \n' '  ' | grep -q "$stable"; then
  echo "stable frame received: $stable"
else
  echo "no stable frame for 12.5 kg on $port" >&2
  exit 1
fi

curl -fsS --json '{}' "$api/quit" >/dev/null
wait "$pid"
echo "emulator ended"
