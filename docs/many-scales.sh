#!/bin/sh
# A site's scales at once: ten emulators side by side, each with its own data
# folder, virtual port, control port, model and weight; then all stopped.
#
#   docs/many-scales.sh [path to korvanteslin] [number of scales]
set -eu

program=${1:-korvanteslin}
count=${2:-10}
work=$(mktemp -d)
pids=
trap 'for p in $pids; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT

for i in $(seq "$count"); do
  mkdir -p "$work/$i"
  "$program" --headless --data-dir "$work/$i/data" --virtual "$work/$i/scale" --control 0 \
    >"$work/$i/out" 2>"$work/$i/err" &
  pids="$pids $!"
done

models="ZMR-1 ZMR-3 ZMR-5"
for i in $(seq "$count"); do
  for _ in $(seq 100); do grep -q '^control: ' "$work/$i/out" && break; sleep 0.1; done
  api=$(sed -n 's/^control: //p' "$work/$i/out")
  model=$(echo "$models" | cut -d' ' -f$(( (i - 1) % 3 + 1 )))
  curl -fsS --json "{\"model\": \"$model\"}" "$api/model" >/dev/null
  curl -fsS --json "{\"weight1\": \"$i.5\"}" "$api/weights" >/dev/null
  curl -fsS --json '{"load": "weight1"}' "$api/load" >/dev/null
  echo "scale $i: $model with $i.5 kg on $work/$i/scale, API at $api"
done

# Each scale settles on its own weight.
sleep 1
for i in $(seq "$count"); do
  api=$(sed -n 's/^control: //p' "$work/$i/out")
  state=$(curl -fsS "$api/state")
  case $state in
    *"\"weight\":$i.5,"*) ;;
    *) echo "scale $i did not settle on $i.5 kg: $state" >&2; exit 1 ;;
  esac
done
echo "all $count scales settled"

for i in $(seq "$count"); do
  curl -fsS --json '{}' "$(sed -n 's/^control: //p' "$work/$i/out")/quit" >/dev/null
done
for p in $pids; do wait "$p"; done
pids=
echo "all $count scales stopped"
