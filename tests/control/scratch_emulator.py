"""The emulator run headless in a throwaway folder, for the tests that drive it
from outside as a client would: its own data folder, and COM2 (the default
port) linked to nowhere so that no real serial device is ever opened."""
import http.client
import json
import os
import signal
import subprocess
import time

FOLDER = "Korvanteslin v.1.02"


class Emulator:
    def __init__(self, program, scratch, preexec_fn=None, extra=()):
        data = os.path.join(scratch, "pf", FOLDER)
        os.makedirs(data, exist_ok=True)
        os.makedirs(os.path.join(scratch, "home"), exist_ok=True)
        if not os.path.lexists(os.path.join(data, "COM2")):
            os.symlink("/nonexistent/line", os.path.join(data, "COM2"))
        self.settings = os.path.join(data, FOLDER + ".eng")
        env = dict(os.environ, ProgramFiles=os.path.join(scratch, "pf"), HOME=os.path.join(scratch, "home"),
                   QT_QPA_PLATFORM="offscreen", ASAN_OPTIONS="detect_leaks=0")
        out = os.path.join(scratch, "stdout")
        with open(out, "w") as stdout, open(os.path.join(scratch, "stderr"), "w") as stderr:
            self.process = subprocess.Popen([program, "--headless", "--control", "0", *extra], env=env, stdout=stdout,
                                            stderr=stderr, stdin=subprocess.DEVNULL, preexec_fn=preexec_fn)
        self.port = None
        self.announced = {}  # every "name: value" line, e.g. "rfc2217": "127.0.0.1:40123"
        deadline = time.monotonic() + 30
        while self.port is None and time.monotonic() < deadline and self.process.poll() is None:
            with open(out) as file:
                for line in file:
                    if line.endswith("\n") and ": " in line:
                        name, value = line.rstrip("\n").split(": ", 1)
                        self.announced[name] = value
                    if line.startswith("control: ") and line.endswith("\n"):
                        self.port = int(line.rsplit(":", 1)[1])
            time.sleep(0.05)
        if self.port is None:
            self.process.kill()
            raise SystemExit(f"FAIL: {program} never announced its control API")

    def request(self, method, path, body=None, headers=None, timeout=5):
        """One request as a plain HTTP client sends it (Host 127.0.0.1:PORT, no Origin)."""
        headers = dict(headers or {})
        if body is not None:
            headers.setdefault("Content-Type", "application/json")
            body = body if isinstance(body, bytes) else json.dumps(body).encode()
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
        try:
            connection.request(method, path, body=body, headers=headers)
            reply = connection.getresponse()
            text = reply.read()
        finally:
            connection.close()
        try:
            return reply.status, json.loads(text)
        except ValueError:
            return reply.status, text

    def stop(self, timeout=20):
        """SIGTERM, as a shutdown sends it (the settings are saved); the exit status, or None if it hung."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None

    def read_settings(self):
        try:
            with open(self.settings, "rb") as file:
                return file.read()
        except OSError:
            return None
