#!/bin/sh
# Writes a Kubernetes manifest for a farm of N scales to standard output, for
# `podman kube play` or `kubectl apply`.
#
#   docs/farm/scales.sh N [options] > scales.yaml
#
# Each scale is a pod (scale-1 … scale-N) of the image scripts/image builds,
# with a ConfigMap of its settings, a claim for its data folder, raw frames
# on TCP port 4001, RFC 2217 on 4002 and the control API on 8451 (token from
# the Secret's key "token"; GET /health answers the probes). Scale i is
# published on host ports 4001+10i, 4002+10i and 8451+10i.
#
#   --models LIST     ZMR-1, ZMR-3 or ZMR-5 (default ZMR-1,ZMR-3,ZMR-5)
#   --weights LIST    the weight each scale carries (default: scale i i.5 kg)
#   --formats LIST    display formats (default ###0.0)
#   --periods LIST    sending periods in ms (default 150)
#   --name PREFIX     pods PREFIX-1 … PREFIX-N (default scale)
#   --image IMAGE     (default localhost/korvanteslin:1.02)
#   --secret NAME     the Secret holding the token (default korvanteslin-control)
#   --host-ip ADDR    publish on this address only (default every address)
#   --port-shift K    add K to every host port (default 0)
#   --services        a Service per scale as well (podman ignores them)
#   --no-claims       leave the claims out: podman 4.3 refuses to play a claim
#                     whose volume exists, and makes the volume itself if not
#
# A LIST is comma-separated and used over again when shorter than N. The
# model and period are set on a scale's first start only (it keeps them, so a
# change made through its API stays); the weight and format at every start.
set -eu

usage() { sed -n '2,28s/^# \{0,1\}//p' "$0" >&2; exit 2; }

[ $# -ge 1 ] || usage
count=$1
shift
options=$*
case $count in '' | *[!0-9]*) usage ;; esac
[ "$count" -ge 1 ] && [ "$count" -le 400 ] || { echo "scales.sh: N from 1 to 400" >&2; exit 2; }

models=ZMR-1,ZMR-3,ZMR-5 weights= formats='###0.0' periods=150
name=scale image=localhost/korvanteslin:1.02 secret=korvanteslin-control
host_ip= shift_by=0 services=no claims=yes
while [ $# -gt 0 ]; do
  case $1 in
    --services) services=yes; shift; continue ;;
    --no-claims) claims=no; shift; continue ;;
    --models | --weights | --formats | --periods | --name | --image | --secret | --host-ip | --port-shift)
      [ $# -ge 2 ] || usage ;;
    *) usage ;;
  esac
  case $2 in
    *[\"\\]*) echo "scales.sh: $1 takes no quotes or backslashes" >&2; exit 2 ;;
  esac
  case $1 in
    --models) models=$2 ;;
    --weights) weights=$2 ;;
    --formats) formats=$2 ;;
    --periods) periods=$2 ;;
    --name) name=$2 ;;
    --image) image=$2 ;;
    --secret) secret=$2 ;;
    --host-ip) host_ip=$2 ;;
    --port-shift) shift_by=$2 ;;
  esac
  shift 2
done
case $shift_by in '' | *[!0-9]*) usage ;; esac
[ $((8451 + 10 * count + shift_by)) -le 65535 ] || { echo "scales.sh: --port-shift too large" >&2; exit 2; }

# The i-th item of a comma-separated list, the list used over again.
nth() {
  n=$(printf '%s\n' "$1" | awk -F, '{ print NF }')
  printf '%s\n' "$1" | cut -d, -f$(( ($2 - 1) % n + 1 ))
}

port() {
  printf '    - {name: %s, containerPort: %s, hostPort: %s' "$1" "$2" $(($2 + 10 * i + shift_by))
  if [ -n "$host_ip" ]; then printf ', hostIP: "%s"' "$host_ip"; fi
  printf '}\n'
}

cat <<EOF
# $count scales, written by docs/farm/scales.sh $count${options:+ $options}.
# The token comes from the Secret "$secret" (key "token"), made once:
#   kubectl create secret generic $secret --from-literal=token="\$TOKEN"
# or, for podman (4.3 reads a secret's keys from JSON, values in base64):
#   printf '{"token": "%s"}' "\$(printf %s "\$TOKEN" | base64 -w0)" | podman secret create $secret -
EOF

i=0
while [ "$i" -lt "$count" ]; do
  i=$((i + 1))
  pod=$name-$i
  weight=$i.5
  [ -z "$weights" ] || weight=$(nth "$weights" "$i")
  cat <<EOF
---
apiVersion: v1
kind: ConfigMap
metadata:
  name: $pod
  labels: {app: korvanteslin, scale: $pod}
data:
  SCALE_MODEL: "$(nth "$models" "$i")"
  SCALE_WEIGHT: "$weight"
  SCALE_FORMAT: "$(nth "$formats" "$i")"
  SCALE_PERIOD_MS: "$(nth "$periods" "$i")"
EOF
  if [ "$claims" = yes ]; then
    cat <<EOF
---
apiVersion: v1
kind: PersistentVolumeClaim
metadata:
  name: $pod-data
  labels: {app: korvanteslin, scale: $pod}
spec:
  accessModes: [ReadWriteOnce]
  resources: {requests: {storage: 16Mi}}
EOF
  fi
  cat <<EOF
---
apiVersion: v1
kind: Pod
metadata:
  name: $pod
  labels: {app: korvanteslin, scale: $pod}
spec:
  restartPolicy: Always
  securityContext: {runAsUser: 1000, runAsGroup: 1000, fsGroup: 1000}
  containers:
  - name: scale
    image: $image
    imagePullPolicy: Never
    command: [korvanteslin-scale]
    args: [--tcp, "0.0.0.0:4001", --rfc2217, "0.0.0.0:4002", --control, "0.0.0.0:8451"]
    envFrom:
    - configMapRef: {name: $pod}
    env:
    - name: KORVANTESLIN_CONTROL_TOKEN
      valueFrom: {secretKeyRef: {name: $secret, key: token}}
    ports:
$(port frames 4001)
$(port rfc2217 4002)
$(port control 8451)
    readinessProbe:
      httpGet: {path: /health, port: 8451}
      periodSeconds: 5
    livenessProbe:
      httpGet: {path: /health, port: 8451}
      initialDelaySeconds: 5
      periodSeconds: 10
    volumeMounts:
    - {name: data, mountPath: /data}
  volumes:
  - name: data
    persistentVolumeClaim: {claimName: $pod-data}
EOF
  if [ "$services" = yes ]; then
    cat <<EOF
---
apiVersion: v1
kind: Service
metadata:
  name: $pod
  labels: {app: korvanteslin, scale: $pod}
spec:
  selector: {app: korvanteslin, scale: $pod}
  ports:
  - {name: frames, port: 4001, targetPort: frames}
  - {name: rfc2217, port: 4002, targetPort: rfc2217}
  - {name: control, port: 8451, targetPort: control}
EOF
  fi
done
