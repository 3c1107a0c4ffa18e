#!/usr/bin/env bash
# The scale farm end to end, as root on a machine with podman: the image from
# the package (scripts/image, cached), three scales from docs/farm/scales.sh
# played with `podman kube play`, each read and driven through its published
# ports on 127.0.0.1; then stopped, played again, and found as they were left.
#
#   tests/farm/farm_test.sh [path/to/korvanteslin_*.deb]
#
# Its pods, volumes and secret are named farmtest-* and its host ports are
# shifted by 20000 (24011…, 28461…), so a farm of scale-* pods is left alone.
# Everything it made is removed at the end, whatever happened.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
export CONTAINERS_CONF="$root/packaging/farm/containers.conf"

count=3
name=farmtest
secret=$name-control
shift_by=20000
work=$(mktemp -d)
passed=0
failed=0

pods() { local i; for i in $(seq "$count"); do echo "$name-$i"; done; }
frames_port() { echo $((4001 + 10 * $1 + shift_by)); }
api() { echo "http://127.0.0.1:$((8451 + 10 * $1 + shift_by))"; }

cleanup() {
  for manifest in "$work"/farm*.yaml; do
    [ -f "$manifest" ] && podman kube down "$manifest" >>"$work/podman.log" 2>&1
  done
  for pod in $(pods); do
    podman pod rm -f "$pod" >>"$work/podman.log" 2>&1
    podman volume rm -f "$pod-data" >>"$work/podman.log" 2>&1
  done
  podman secret rm "$secret" >>"$work/podman.log" 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

check() { # description, command...
  local what=$1; shift
  if "$@" >"$work/out" 2>&1; then
    passed=$((passed + 1)); echo "ok: $what"
  else
    failed=$((failed + 1)); echo "FAILED: $what"; sed 's/^/  /' "$work/out"
  fi
}
give_up() {
  echo "farm: $*" >&2
  [ -f "$work/podman.log" ] && tail -20 "$work/podman.log" >&2
  echo "farm: $passed passed, $((failed + 1)) failed"
  exit 1
}

[ "$(id -u)" -eq 0 ] || { echo "farm: run as root (podman's root storage and host ports)" >&2; exit 77; }
missing=()
for package in curl netcat-openbsd python3; do
  [ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null)" = "install ok installed" ] || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null ||
    give_up "cannot install ${missing[*]}"
fi

image=$("$root/scripts/image" "$@" | tail -1) || give_up "no image"
for pod in $(pods); do
  ! podman pod exists "$pod" || give_up "a pod $pod is there already; remove it first"
done

# The secret as podman 4.3 reads a secretKeyRef: JSON, the values in base64.
token=$(head -c 24 /dev/urandom | base64 -w0 | tr '+/' '-_')
printf '{"token": "%s"}' "$(printf %s "$token" | base64 -w0)" |
  podman secret create "$secret" - >>"$work/podman.log" 2>&1 || give_up "cannot make the secret"

farm=("$root/docs/farm/scales.sh" "$count" --name "$name" --image "$image" --secret "$secret"
      --host-ip 127.0.0.1 --port-shift "$shift_by" --models ZMR-1 --weights 1.5,2.5,3.5)
"${farm[@]}" >"$work/farm.yaml" || give_up "scales.sh failed"
"${farm[@]}" --no-claims >"$work/farm-again.yaml" || give_up "scales.sh --no-claims failed"

# Requests to a scale's API: with its token unless told otherwise.
call() { # scale, path [curl options...]
  local scale=$1 path=$2; shift 2
  curl -sS --max-time 5 -H "Authorization: Bearer $token" "$@" "$(api "$scale")$path"
}
status_of() { # scale, path [curl options...]: the HTTP status only
  local scale=$1 path=$2; shift 2
  curl -s --max-time 5 -o /dev/null -w '%{http_code}' "$@" "$(api "$scale")$path"
}
place() { # scale, weight: typed into Weight 1 and loaded
  call "$1" /weights --fail --json "{\"weight1\": \"$2\"}" >/dev/null &&
    call "$1" /load --fail --json '{"load": "weight1"}' >/dev/null
}
state_field() { # scale, python expression on the state s
  call "$1" /state | python3 -c "import json, sys; s = json.load(sys.stdin); print($2)"
}

# Up means its probe answers 200 and it carries its weight from the
# ConfigMap, which the pod's entry script loads once the API answers.
wait_up() { # scale
  local _
  for _ in $(seq 150); do
    if [ "$(status_of "$1" /health)" = 200 ] && [ "$(state_field "$1" 's["load"]' 2>/dev/null)" = weight1 ]; then
      return 0
    fi
    sleep 0.2
  done
  return 1
}

# N frames of 12 bytes as read off a scale's TCP port, one per line in hex.
frames() { # scale, n
  timeout 5 nc -d 127.0.0.1 "$(frames_port "$1")" | head -c $((12 * $2)) | od -An -v -tx1 |
    tr -s ' \n' '  ' | awk -v n="$2" '{ for (i = 0; i < n; i++) { line = ""; for (j = 1; j <= 12; j++) line = line $(12 * i + j) " "; print line } }' |
    sed 's/ *$//'
}
# A ZMR-1 frame is STX, sign, six weight characters, status, "kg", CR.
all_zmr1() { # scale
  local lines
  lines=$(frames "$1" 4)
  printf '%s\n' "$lines"
  [ "$(printf '%s\n' "$lines" | grep -c .)" -eq 4 ] &&
    ! printf '%s\n' "$lines" | grep -vqE '^02 (20|2d) ([0-9a-f]{2} ){6}[0-9a-f]{2} 6b 67 0d$'
}
# Waits until the scale's frames carry this weight, stable: six characters
# as the frame writes them ("0007.5"), the status with its 0x02 bit.
carries() { # scale, weight text
  local hex _ line
  hex=$(printf %s "$2" | od -An -tx1 | tr -s ' \n' '  ' | sed 's/^ //; s/ $//')
  for _ in $(seq 10); do
    line=$(frames "$1" 3 | tail -1)
    echo "scale $1: $line"
    case $line in
      "02 20 $hex 4"[2367abef]" 6b 67 0d") return 0 ;;
    esac
    sleep 0.3
  done
  return 1
}

gone() { # scale: no pod, nothing on its frames port
  ! podman pod exists "$name-$1" && ! timeout 3 nc -z 127.0.0.1 "$(frames_port "$1")"
}

echo "farm: $image, $count scales on 127.0.0.1"
podman kube play "$work/farm.yaml" >>"$work/podman.log" 2>&1 || give_up "podman kube play failed"
for i in $(seq "$count"); do
  wait_up "$i" || give_up "scale $i did not come up; $(podman logs "$name-$i-scale" 2>&1 | tail -5)"
done

# Frames through each scale's own published port, each carrying its own weight.
for i in $(seq "$count"); do
  check "scale $i: frames on port $(frames_port "$i") are 12-byte ZMR-1 frames" all_zmr1 "$i"
  check "scale $i: the ConfigMap's weight $i.5 kg in its frames" carries "$i" "000$i.5"
done

# The API wants the token for everything but /health, on every scale.
for i in $(seq "$count"); do
  check "scale $i: GET /state with the token is 200" test "$(status_of "$i" /state -H "Authorization: Bearer $token")" = 200
  check "scale $i: GET /state without a token is 401" test "$(status_of "$i" /state)" = 401
  check "scale $i: GET /state with a wrong token is 401" \
    test "$(status_of "$i" /state -H "Authorization: Bearer x$token")" = 401
  check "scale $i: POST /quit without a token is 401 and ends nothing" \
    test "$(status_of "$i" /quit --json '{}')" = 401
  check "scale $i: GET /health without a token is 200" test "$(status_of "$i" /health)" = 200
done
check "scale 1: the pod's liveness probe, as podman runs it, passes" podman healthcheck run "$name-1-scale"

# A weight placed on one scale shows in its frames and in no other's.
check "scale 2: 7.5 kg typed and loaded through its API" place 2 7.5
check "scale 2: its frames carry 7.5 kg" carries 2 0007.5
check "scale 1: its frames still carry 1.5 kg" carries 1 0001.5
check "scale 3: its frames still carry 3.5 kg" carries 3 0003.5

# What a scale keeps across a restart (model, period) is set through the API
# before the farm goes down; the weight is not kept and comes back from the
# ConfigMap.
check "scale 1: period set to 250 ms" test "$(call 1 /period --json '{"period_ms": "250"}' -o /dev/null -w '%{http_code}')" = 200
check "scale 3: model set to ZMR-5" test "$(call 3 /model --json '{"model": "ZMR-5"}' -o /dev/null -w '%{http_code}')" = 200

# podman 4.3's `kube down` kills at once (no time to save): the pods are
# stopped first, each given the time to save its settings.
mapfile -t all_pods < <(pods)
check "the pods stop within 20 s" timeout 30 podman pod stop -t 20 "${all_pods[@]}"
podman kube down "$work/farm.yaml" >>"$work/podman.log" 2>&1
for i in $(seq "$count"); do
  check "scale $i: its pod is gone after kube down" gone "$i"
done
check "the data volumes outlive kube down" podman volume exists "$name-1-data"

podman kube play "$work/farm-again.yaml" >>"$work/podman.log" 2>&1 || give_up "podman kube play (again) failed"
for i in $(seq "$count"); do
  wait_up "$i" || give_up "scale $i did not come up again; $(podman logs "$name-$i-scale" 2>&1 | tail -5)"
done
check "scale 1: the period of 250 ms was kept" test "$(state_field 1 's["period_ms"]')" = 250
check "scale 3: the model ZMR-5 was kept" test "$(state_field 3 's["model"]')" = ZMR-5
check "scale 2: the period stayed 150 ms" test "$(state_field 2 's["period_ms"]')" = 150
check "scale 2: the weight is the ConfigMap's 2.5 kg again" test "$(state_field 2 's["weights"]["weight1"]')" = 2.5
check "scale 2: its frames carry 2.5 kg" carries 2 0002.5

echo "farm: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
