#!/usr/bin/env python3
"""What a container costs a scale: N scales as plain processes, then N as
pods of the farm image, side by side in one run, each read through its raw
TCP port for the same time.

usage: bench/farm_bench.py PROGRAM [--scales N] [--seconds S]

For each kind: the lowest rate of any scale (frames read over the frames a
150 ms period gives), the CPU of the emulators, and their proportional
memory; for the pods also what runs beside each emulator (the pod's pause
container, conmon, the setup script). Run as root with the image built
(scripts/image); the pods are named farmbench-*, their ports shifted by 30000.
"""
import argparse
import base64
import os
import select
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PERIOD_S = 0.150
TOKEN = "farm-bench-token-0123456789"
SHIFT = 30000
os.environ["CONTAINERS_CONF"] = os.path.join(ROOT, "packaging/farm/containers.conf")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def pss_kib(pid):
    with open(f"/proc/{pid}/smaps_rollup") as rollup:
        for line in rollup:
            if line.startswith("Pss:"):
                return int(line.split()[1])
    return 0


def descendants(pid):
    found, todo = [], [pid]
    while todo:
        parent = todo.pop()
        found.append(parent)
        try:
            with open(f"/proc/{parent}/task/{parent}/children") as children:
                todo += [int(child) for child in children.read().split()]
        except OSError:
            pass
    return found


def emulator(pids):
    """The emulator among a process tree (its command is korvanteslin)."""
    for pid in pids:
        with open(f"/proc/{pid}/comm") as comm:
            if comm.read().strip() == "korvanteslin":
                return pid
    raise RuntimeError(f"no emulator among {pids}")


def read_frames(ports, seconds):
    """Frames (CR-terminated) read on each port over `seconds`, after a second to settle."""
    sockets = [socket.create_connection(("127.0.0.1", port), timeout=5) for port in ports]
    for sock in sockets:
        sock.setblocking(False)
    counts = [0] * len(ports)
    start = time.monotonic() + 1.0
    while time.monotonic() < start + seconds:
        ready, _, _ = select.select(sockets, [], [], 0.5)
        counting = time.monotonic() >= start
        for sock in ready:
            data = sock.recv(65536)
            if counting:
                counts[sockets.index(sock)] += data.count(b"\r")
    for sock in sockets:
        sock.close()
    return counts


def cpu_of(groups):
    return [(cpu_seconds(e), sum(cpu_seconds(p) for p in beside)) for e, beside in groups]


def measure(kinds, seconds):
    """kinds: name -> (groups, ports); groups: per scale, (emulator pid, [pids beside it]).
    Every kind is read over the same seconds."""
    before = {name: cpu_of(groups) for name, (groups, _) in kinds.items()}
    t0 = time.monotonic()
    all_ports = [port for _, ports in kinds.values() for port in ports]
    counts = dict(zip(all_ports, read_frames(all_ports, seconds)))
    elapsed = time.monotonic() - t0 - 1.0
    lowest = 1.0
    for name, (groups, ports) in kinds.items():
        after = cpu_of(groups)
        rates = [counts[port] / (seconds / PERIOD_S) for port in ports]
        cpu = sum(a[0] - b[0] for a, b in zip(after, before[name])) / elapsed
        cpu_beside = sum(a[1] - b[1] for a, b in zip(after, before[name])) / elapsed
        pss = [pss_kib(e) for e, _ in groups]
        pss_beside = [sum(pss_kib(p) for p in beside) for _, beside in groups]
        n = len(groups)
        line = (f"{name}: {n} scales at 150 ms, {seconds} s: lowest rate {min(rates):.5f}; "
                f"CPU of the emulators {100 * cpu:.2f} % of a core ({100 * cpu / n:.3f} % each); "
                f"PSS per emulator {sum(pss) / n / 1024:.2f} MiB")
        if any(beside for _, beside in groups):
            line += f"; beside each: CPU {100 * cpu_beside / n:.3f} %, PSS {sum(pss_beside) / n / 1024:.2f} MiB"
        print(line)
        lowest = min(lowest, min(rates))
    return lowest


def plain(program, count, scratch):
    processes, ports = [], []
    for i in range(count):
        folder = os.path.join(scratch, f"plain-{i}")
        os.makedirs(folder)
        port = 24100 + SHIFT + i
        env = dict(os.environ, HOME=folder)
        processes.append(subprocess.Popen(
            [program, "--headless", "--data-dir", folder, "--tcp", f"127.0.0.1:{port}"],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        ports.append(port)
    return processes, ports


def podman(*args, check=True):
    return subprocess.run(["podman", *args], check=check, capture_output=True, text=True).stdout


def pods(count, scratch):
    """Plays the pods; their groups and ports once every one is healthy."""
    manifest = os.path.join(scratch, "farm.yaml")
    with open(manifest, "w") as out:
        subprocess.run([os.path.join(ROOT, "docs/farm/scales.sh"), str(count), "--name", "farmbench",
                        "--models", "ZMR-1", "--secret", "farmbench-control", "--host-ip", "127.0.0.1",
                        "--port-shift", str(SHIFT)], check=True, stdout=out)
    secret = '{"token": "%s"}' % base64.b64encode(TOKEN.encode()).decode()
    podman("secret", "rm", "farmbench-control", check=False)
    subprocess.run(["podman", "secret", "create", "farmbench-control", "-"], input=secret, text=True,
                   check=True, capture_output=True)
    podman("kube", "play", manifest)
    api = [f"http://127.0.0.1:{8451 + 10 * i + SHIFT}/health" for i in range(1, count + 1)]
    deadline = time.monotonic() + 120
    for url in api:
        while True:
            try:
                if urllib.request.urlopen(url, timeout=2).status == 200:
                    break
            except Exception:
                pass
            if time.monotonic() > deadline:
                raise RuntimeError(f"{url} never healthy")
            time.sleep(0.5)
    time.sleep(2)
    groups = []
    for i in range(1, count + 1):
        pod = f"farmbench-{i}"
        container = f"{pod}-scale"
        pid = int(podman("inspect", "--format", "{{.State.Pid}}", container).strip())
        conmon = int(podman("inspect", "--format", "{{.State.ConmonPid}}", container).strip())
        infra = podman("pod", "inspect", "--format", "{{.InfraContainerID}}", pod).strip()
        infra_pid = int(podman("inspect", "--format", "{{.State.Pid}}", infra).strip())
        infra_conmon = int(podman("inspect", "--format", "{{.State.ConmonPid}}", infra).strip())
        tree = descendants(pid)
        scale = emulator(tree)
        beside = [p for p in tree if p != scale] + [conmon, infra_pid, infra_conmon]
        groups.append((scale, beside))
    ports = [4001 + 10 * i + SHIFT for i in range(1, count + 1)]
    return groups, ports


def pods_down(count, scratch):
    podman("kube", "down", os.path.join(scratch, "farm.yaml"), check=False)
    for i in range(1, count + 1):
        podman("volume", "rm", "-f", f"farmbench-{i}-data", check=False)
    podman("secret", "rm", "farmbench-control", check=False)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--scales", type=int, default=10)
    parser.add_argument("--seconds", type=int, default=30)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as scratch:
        processes, plain_ports = plain(args.program, args.scales, scratch)
        try:
            kinds = {"processes": ([(p.pid, []) for p in processes], plain_ports),
                     "pods": pods(args.scales, scratch)}
            lowest = measure(kinds, args.seconds)
        finally:
            pods_down(args.scales, scratch)
            for process in processes:
                process.terminate()
            for process in processes:
                process.wait(timeout=20)
    print(f"lowest rate of all: {lowest:.5f} (target >= 0.999)")
    return 0 if lowest >= 0.999 else 1


if __name__ == "__main__":
    sys.exit(main())
