#!/usr/bin/env python3
"""A front end's first minutes against a cashbox it does not know yet: the
service searches the network, lists the simulated cashbox that answers,
switches to it when chosen, and registers a receipt on it.

The search uses the fixed UDP ports of the real protocol, so the whole run
takes place in a network namespace of its own: nothing reaches another
machine or another test's service. Exit 77 (skipped) where no namespace can
be made."""
import json
import os
import re
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request
from base64 import b64encode

SKIP = 77
BIN = sys.argv[1]
SOURCE = sys.argv[2]


def in_own_namespace():
    if os.environ.get("TILLGATE_NETNS") == "1":
        return
    env = dict(os.environ, TILLGATE_NETNS="1")
    for unshare in (["unshare", "-n"], ["unshare", "-rn"]):
        probe = subprocess.run(unshare + ["true"], capture_output=True)
        if probe.returncode == 0:
            os.execvpe(unshare[0], unshare + [sys.executable] + sys.argv, env)
    print("SKIP: no network namespace can be made here")
    sys.exit(SKIP)


def wait_for(what, condition, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


def first_match(path, pattern):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            m = re.search(pattern, f.read())
        return m
    except FileNotFoundError:
        return None


def request(port, path, body=None, auth=True):
    headers = {"Content-Type": "application/json"} if body is not None else {}
    if auth:
        headers["Authorization"] = "Basic " + b64encode(b"1:30").decode()
    req = urllib.request.Request("http://127.0.0.1:%d%s" % (port, path), data=body, headers=headers)
    try:
        with urllib.request.urlopen(req, timeout=60) as answer:
            return answer.status, answer.read()
    except urllib.error.HTTPError as error:
        return error.code, error.read()


def main():
    in_own_namespace()
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    failures = []

    def check(what, ok):
        print(("PASS: " if ok else "FAIL: ") + what)
        if not ok:
            failures.append(what)

    with tempfile.TemporaryDirectory() as tmp:
        sim_log = open(os.path.join(tmp, "sim.log"), "w")
        sim = subprocess.Popen([os.path.join(BIN, "cashbox-sim"), "--msg-port", "0", "--query-port", "0",
                                "--announce", "31:0000000000001234:Ostrak", "--tape", os.path.join(tmp, "tape.txt")],
                               stdout=subprocess.PIPE, stderr=sim_log, text=True)
        service = None
        try:
            check("the simulator names its ports", re.match(r"msg=\d+ query=\d+", sim.stdout.readline()))
            etc = os.path.join(tmp, "opt/zelvotillgate/etc")
            os.makedirs(etc)
            with open(os.path.join(etc, "tillgate.conf"), "w") as f:
                f.write("[TILLGATE]\ndeviceType=0\ndiscoveryAddress=127.0.0.1\n")
            with open(os.path.join(etc, "tillgatelistener.conf"), "w") as f:
                f.write("[LISTENER]\nport=0\nhost=127.0.0.1\n")
            log = os.path.join(tmp, "service.log")
            service = subprocess.Popen([os.path.join(BIN, "tillgate")], env=dict(os.environ, TILLGATE_ROOT=tmp),
                                       stdout=open(log, "w"), stderr=subprocess.STDOUT)
            port = int(wait_for("the service to listen",
                                lambda: first_match(log, r"Listening on port (\d+)")).group(1))

            status, _ = request(port, "/discover?cleanresults=1", auth=False)
            check("a search starts", status == 200)

            def listed():
                status, body = request(port, "/cashboxes.json", auth=False)
                return body if status == 200 and b"0000000000001234" in body else None
            found = json.loads(wait_for("the cashbox to be listed", listed))
            cashbox = found["searchResult"]["cashboxes"][0]
            check("the cashbox lists its registration number", cashbox.get("regNumber") == "0000000001012345")
            check("the cashbox lists its INN", cashbox.get("inn") == "7700000000")

            status, body = request(port, "/choosecashbox.json?serial=0000000000001234&model=31", auth=False)
            check("the cashbox is chosen", status == 200 and b'"connected":1' in body)

            status, body = wait_for("the chosen cashbox to answer",
                                    lambda: (lambda a: a if a[0] == 200 else None)(request(port, "/cycleopen.json")))
            check("the shift opens on the chosen cashbox", status == 200)
            with open(os.path.join(SOURCE, "docs/examples/receipt.json"), "rb") as f:
                receipt = f.read().replace(b"example-0001", b"discovered-0001")
            status, body = request(port, "/fiscalcheck.json", receipt)
            check("a receipt registers on it", status == 200 and b"fiscalSign" in body)
            again_status, again = request(port, "/fiscalcheck.json", receipt)
            check("its repeat replays the same document", again_status == 200 and again == body)
        finally:
            for process in (service, sim):
                if process is not None:
                    process.terminate()
                    process.wait(timeout=20)
        if failures:
            with open(log, encoding="utf-8", errors="replace") as f:
                print(f.read()[-4000:])
    print("discovery: %d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
