#!/usr/bin/env python3
"""Holds the control API's published description against the running server.

Every documented path and method is called with the description's own example
body and its reply checked against the documented schema; every other method
on a documented path must be refused with 405, an undocumented path with 404,
and a field the description does not list with 400.

usage: check_api_description.py PROGRAM DESCRIPTION.yaml
"""
import json
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

import yaml

METHODS = ["get", "post", "put", "delete", "patch"]
failures = []


def fail(text):
    failures.append(text)
    print("FAIL:", text)


def deref(api, node):
    while isinstance(node, dict) and "$ref" in node:
        target = api
        for part in node["$ref"].lstrip("#/").split("/"):
            target = target[part]
        node = target
    return node


def check(api, schema, value, where):
    schema = deref(api, schema)
    kind = schema.get("type")
    types = {"object": dict, "array": list, "string": str, "boolean": bool}
    if kind in types and not isinstance(value, types[kind]):
        return fail(f"{where}: {value!r} is not {kind}")
    if kind == "integer" and (not isinstance(value, int) or isinstance(value, bool)):
        return fail(f"{where}: {value!r} is not an integer")
    if kind == "number" and (not isinstance(value, (int, float)) or isinstance(value, bool)):
        return fail(f"{where}: {value!r} is not a number")
    if "enum" in schema and value not in schema["enum"]:
        fail(f"{where}: {value!r} is not one of {schema['enum']}")
    if kind == "object":
        for name in schema.get("required", []):
            if name not in value:
                fail(f"{where}: '{name}' is missing")
        properties = schema.get("properties", {})
        for name, item in value.items():
            if name not in properties:
                fail(f"{where}: '{name}' is not described")
            else:
                check(api, properties[name], item, f"{where}.{name}")
    if kind == "array":
        for index, item in enumerate(value):
            check(api, schema["items"], item, f"{where}[{index}]")


def example_body(api, operation):
    body = operation.get("requestBody")
    if not body:
        return None
    schema = deref(api, body["content"]["application/json"]["schema"])
    example = {}
    for name, item in schema["properties"].items():
        item = deref(api, item)
        if "example" in item:
            example[name] = item["example"]
        elif "enum" in item:
            example[name] = item["enum"][0]
        elif item.get("type") == "boolean":
            example[name] = True
    return example


def call(base, method, path, body=None):
    data = None if body is None else json.dumps(body).encode()
    request = urllib.request.Request(base + path, data=data, method=method.upper(),
                                     headers={"Content-Type": "application/json"})
    try:
        with urllib.request.urlopen(request, timeout=15) as reply:
            return reply.status, json.loads(reply.read() or b"null")
    except urllib.error.HTTPError as error:
        return error.code, json.loads(error.read() or b"null")


def reply_schema(api, operation, status):
    response = deref(api, operation["responses"].get(str(status), {}))
    return response.get("content", {}).get("application/json", {}).get("schema")


def main():
    program, description = sys.argv[1], sys.argv[2]
    with open(description) as file:
        api = yaml.safe_load(file)
    with tempfile.TemporaryDirectory() as data:
        emulator = subprocess.Popen(
            [program, "--headless", "--data-dir", data, "--device", data + "/no-such-line", "--control", "0",
             "--tcp", "0"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            base = None
            frames = None
            for line in emulator.stdout:
                if line.startswith("tcp: "):
                    host, port = line.split(" ", 1)[1].strip().rsplit(":", 1)
                    # A client of the frames' server, so that GET /state lists one.
                    frames = socket.create_connection((host, int(port)), timeout=15)
                if line.startswith("control: "):
                    base = line.split(" ", 1)[1].strip()
                    break
            if not base or not frames:
                fail("the emulator never said where its API and its frames are")
                return
            paths = api["paths"]
            # /quit last: it ends the emulator.
            for path in sorted(paths, key=lambda p: p == "/quit"):
                # Refusals first: a documented POST /quit ends the emulator.
                for method in sorted(METHODS, key=lambda m: m in paths[path]):
                    operation = paths[path].get(method)
                    if operation is None:
                        status, _ = call(base, method, path, {} if method != "get" else None)
                        if status != 405:
                            fail(f"{method.upper()} {path}: {status}, expected 405")
                        continue
                    body = example_body(api, operation)
                    status, reply = call(base, method, path, body)
                    # A probe is told 503 until the first frame has left.
                    for _ in range(100):
                        if path != "/health" or status != 503:
                            break
                        check(api, reply_schema(api, operation, 503), reply, "GET /health 503")
                        time.sleep(0.05)
                        status, reply = call(base, method, path, body)
                    if status != 200:
                        fail(f"{method.upper()} {path} {body}: {status} {reply}")
                        continue
                    check(api, reply_schema(api, operation, 200), reply, f"{method.upper()} {path}")
                    if path == "/state" and not reply.get("tcp", {}).get("clients"):
                        fail("GET /state lists no client of the frames' server")
                    if body is not None and path != "/quit":
                        status, reply = call(base, method, path, dict(body, undescribed="1"))
                        if status != 400:
                            fail(f"{method.upper()} {path} with an undescribed field: {status}")
                        else:
                            check(api, reply_schema(api, operation, 400), reply, f"{method.upper()} {path} 400")
                if path == "/state":
                    status, _ = call(base, "get", "/undescribed")
                    if status != 404:
                        fail(f"GET /undescribed: {status}, expected 404")
            emulator.wait(timeout=15)
        finally:
            if emulator.poll() is None:
                emulator.kill()
    print(f"{len(failures)} failed" if failures else "the API matches its description")


if __name__ == "__main__":
    main()
    sys.exit(1 if failures else 0)
