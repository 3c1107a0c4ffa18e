#!/usr/bin/env python3
"""A web page open in the user's browser must not be able to drive the emulator.

A headless Chromium opens two pages while the emulator runs:
- one from another loopback port that calls every route with bodies that
  would change something, as a page may without asking first (fetch in
  no-cors mode with the content types that need no preflight, HTML forms
  posted into hidden frames), and also with a preflighted JSON fetch;
- one under a foreign host name that resolves to loopback and is served on
  the API's own port number, so that the browser takes the API for the
  page's own origin, as after a DNS rebinding: it reads GET /state and sends
  JSON to every route.
Afterwards the emulator must still run, its state and its saved settings
must be as before, and a plain JSON client must still be served.

usage: browser_cannot_drive.py PROGRAM
"""
import html
import http.server
import json
import os
import re
import selectors
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.dont_write_bytecode = True  # no cache files left in the source tree
from scratch_emulator import Emulator

# Every route that changes something, with a body that would change it; /quit last.
ROUTES = [
    ("/weights", {"weight1": "444.4", "weight2": "-4.4"}),
    ("/load", {"load": "weight1"}),
    ("/signals", {"tare": True, "overload": True}),
    ("/model", {"model": "ZMR-5"}),
    ("/format", {"format": "#0.000"}),
    ("/oscillation", {"amplitude": "7", "count": "9"}),
    ("/period", {"period_ms": "900"}),
    ("/cycle", {"on": True, "max": "7", "period_s": "9"}),
    ("/port", {"number": "9", "baud": "1200", "parity": "e", "data_bits": "7", "stop_bits": "2"}),
    ("/language", {"language": "rus"}),
    ("/faults", {"drop": 1000, "silence_ms": 3600000}),
    ("/quit", {}),
]

SCRIPT = """
const api = %(api)s, routes = %(routes)s, log = [];
async function attempt(label, url, init) {
  try {
    const reply = await fetch(url, init);
    log.push([label, reply.type, reply.status, (await reply.text()).slice(0, 80)]);
  } catch (error) { log.push([label, 'error', 0, String(error).slice(0, 80)]); }
}
function post(path, body) {  // an HTML form whose text/plain body reads as the JSON body
  return new Promise(done => {
    const frame = document.createElement('iframe'), form = document.createElement('form');
    frame.name = 'f' + Math.random().toString(36).slice(2); frame.hidden = true;
    const text = JSON.stringify(body), cut = text.lastIndexOf('":"') + 3;
    const field = document.createElement('input');
    field.name = cut > 2 ? text.slice(0, cut) : text; field.value = cut > 2 ? text.slice(cut) : '';
    Object.assign(form, {method: 'POST', action: api + path, enctype: 'text/plain', target: frame.name});
    form.append(field); document.body.append(frame, form);
    frame.onload = done; setTimeout(done, 3000); form.submit();
  });
}
async function run() {
  for (const [path, body] of routes) await %(attack)s;
  document.body.innerHTML = ''; const result = document.createElement('pre');
  result.id = 'result'; result.textContent = JSON.stringify(log); document.body.append(result);
}
onload = run;
"""

# From another origin: everything a page may send without a preflight, then with one.
CROSS_ORIGIN = """(async () => {
  for (const type of ['text/plain', 'application/x-www-form-urlencoded', 'multipart/form-data'])
    await attempt('no-cors ' + type + ' ' + path, api + path,
                  {method: 'POST', mode: 'no-cors', body: JSON.stringify(body), headers: {'Content-Type': type}});
  await attempt('cors json ' + path, api + path,
                {method: 'POST', body: JSON.stringify(body), headers: {'Content-Type': 'application/json'}});
  if (path == '/faults') await attempt('cors DELETE /faults', api + path, {method: 'DELETE'});
  if (path == '/weights') await attempt('cors GET /state', api + '/state', {});
  await post(path, body);
})()"""

# Same origin as far as the browser knows: nothing stops the page but the API itself.
SAME_ORIGIN = """(async () => {
  if (path == '/weights') {
    await attempt('GET /state', '/state', {});
    await attempt('GET /frames', '/frames', {});
  }
  if (path == '/quit') await attempt('DELETE /faults', '/faults', {method: 'DELETE'});
  await attempt('POST ' + path, path,
                {method: 'POST', body: JSON.stringify(body), headers: {'Content-Type': 'application/json'}});
})()"""


def page(api, attack):
    script = SCRIPT % {"api": json.dumps(api), "routes": json.dumps(ROUTES), "attack": attack}
    return f"<!doctype html><html><body><script>{script}</script></body></html>".encode()


def serve_cross_origin_page(body):
    class Page(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Page)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, f"http://127.0.0.1:{server.server_address[1]}/"


def rebinding_host(address, api_port, body):
    """Listens on address:api_port, where the foreign name resolves. It hands out the
    page, then passes every other connection through to the API, as the DNS
    answer would have turned to 127.0.0.1 by then."""
    listener = socket.create_server((address, api_port))
    listener.settimeout(1)

    def pipe(client):
        with client:
            client.settimeout(10)
            head = b""
            while b"\r\n\r\n" not in head and len(head) < 65536:
                chunk = client.recv(65536)
                if not chunk:
                    return
                head += chunk
            if head.startswith(b"GET / "):
                client.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n"
                               b"Content-Length: %d\r\n\r\n" % len(body) + body)
                return
            with socket.create_connection(("127.0.0.1", api_port), timeout=10) as api:
                api.sendall(head)
                both = selectors.DefaultSelector()
                both.register(client, selectors.EVENT_READ, api)
                both.register(api, selectors.EVENT_READ, client)
                deadline = time.monotonic() + 30
                while time.monotonic() < deadline:
                    for key, _ in both.select(1):
                        data = key.fileobj.recv(65536)
                        if not data:
                            return
                        key.data.sendall(data)

    def accept():
        while not stop.is_set():
            try:
                client, _ = listener.accept()
            except socket.timeout:
                continue
            threading.Thread(target=pipe, args=(client,), daemon=True).start()
        listener.close()

    stop = threading.Event()
    threading.Thread(target=accept, daemon=True).start()
    return stop


def browse(url, profile, rebinding_address):
    """What the page logged: [label, reply type, status, start of the text], or None if it never finished."""
    command = ["chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--user-data-dir=" + profile,
               "--no-first-run", "--disable-background-networking", "--disable-component-update",
               "--disable-sync", "--disable-default-apps", "--virtual-time-budget=60000",
               # Only loopback: the foreign name, and nothing else out of this machine.
               f"--host-resolver-rules=MAP evil.test {rebinding_address}, MAP * ~NOTFOUND, "
               "EXCLUDE 127.0.0.1, EXCLUDE localhost",
               "--dump-dom", url]
    try:
        done = subprocess.run(command, capture_output=True, text=True, timeout=90)
    except subprocess.TimeoutExpired:
        return None
    found = re.search(r'<pre id="result">(.*?)</pre>', done.stdout, re.S)
    return json.loads(html.unescape(found.group(1))) if found else None


def significant(state):
    """What a page could have changed, less what changes by itself: the pending drop
    count goes down by one each frame, so it comes apart."""
    pending = dict(state["faults"]["pending"])
    drop = pending.pop("drop")
    return {"weights": state["weights"], "model": state["model"], "format": state["format"],
            "period_ms": state["period_ms"], "load": state["load"], "language": state["language"],
            "signals": {name: state["signals"][name] for name in ("tare", "overload")},
            "cycle": {name: state["cycle"][name] for name in ("on", "max", "period_s")},
            "port": {name: state["port"][name] for name in ("number", "device", "settings")},
            "pending": pending}, drop


def main():
    program = os.path.abspath(sys.argv[1])
    if not shutil.which("chromium"):
        sys.exit("FAIL: chromium is not installed (apt-get install -y --no-install-recommends chromium)")
    failures = []

    def fail(text):
        failures.append(text)
        print("FAIL:", text, flush=True)

    started = time.monotonic()
    with tempfile.TemporaryDirectory() as scratch:
        emulator = Emulator(program, scratch)
        # The port the pages pick leads nowhere either, should one get through.
        os.symlink("/nonexistent/line", os.path.join(os.path.dirname(emulator.settings), "COM9"))
        try:
            # A pending fault, so that a DELETE /faults that got through shows.
            emulator.request("POST", "/faults", {"drop": 500000})
            status, before = emulator.request("GET", "/state")
            saved = emulator.read_settings()
            if status != 200 or saved is None:
                sys.exit(f"FAIL: no state ({status}) or no settings file at start-up")

            rebinding_address = "127.0.0.2"
            stop = rebinding_host(rebinding_address, emulator.port, page("", SAME_ORIGIN))
            log = browse(f"http://evil.test:{emulator.port}/", os.path.join(scratch, "profile1"), rebinding_address)
            stop.set()
            if log is None:
                fail("the page under a foreign name never finished")
            else:
                print("under a foreign name:", ", ".join(f"{label} {status}" for label, _, status, _ in log))
                if not log or log[0][1] == "error":
                    fail(f"the page under a foreign name never reached the API: {log[:1]}")
                for label, _, status, text in log:
                    if status == 200 or '"model"' in text:
                        fail(f"a page under a foreign name was served: {label} {status} {text}")

            server, url = serve_cross_origin_page(page(f"http://127.0.0.1:{emulator.port}", CROSS_ORIGIN))
            log = browse(url, os.path.join(scratch, "profile2"), rebinding_address)
            server.shutdown()
            if log is None:
                fail("the page from another origin never finished")
            else:
                print(f"from another origin: {len(log)} attempts, {sum(e[1] == 'error' for e in log)} refused "
                      "by the browser, the rest opaque to the page")
                for label, kind, status, text in log:
                    if kind in ("basic", "cors"):
                        fail(f"a page from another origin could read a reply: {label} {status} {text}")

            if emulator.process.poll() is not None:
                fail(f"the emulator ended while the pages ran (status {emulator.process.returncode})")
            else:
                status, after = emulator.request("GET", "/state")
                (was, was_dropping), (now, dropping) = significant(before), significant(after)
                for name in was:
                    if was[name] != now[name]:
                        fail(f"the pages changed {name}: {was[name]} became {now[name]}")
                if not was_dropping - 100000 < dropping <= was_dropping:
                    fail(f"the pages changed the pending drop count: {was_dropping} became {dropping}")
                if emulator.read_settings() != saved:
                    fail("the settings file changed while the pages ran")

                # A client that is not a browser is served as before, and its change sticks.
                for weight in ("123.4", before["weights"]["weight1"]):
                    status, reply = emulator.request("POST", "/weights", {"weight1": weight})
                    if status != 200 or reply["weights"]["weight1"] != weight:
                        fail(f"POST /weights {weight} as a plain JSON client: {status} {reply}")
        finally:
            code = emulator.stop()
        if code is None:
            fail("the emulator did not end on SIGTERM")
        elif emulator.read_settings() != saved:
            fail("the settings saved at the end differ from those at start-up")
    print(f"{len(failures)} failed" if failures else "no page could drive the emulator",
          f"({time.monotonic() - started:.0f} s)")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
