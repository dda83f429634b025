#!/usr/bin/env python3
"""The service against the cashbox simulator, both on loopback, for tests
written outside C++.

As a module: Stack(bin_dir, root).start() ... stop().
As a program: starts both, prints one JSON line with the HTTP port, the
service's log file and the root, and keeps them running until its standard
input closes or it gets SIGTERM.
"""
import argparse
import base64
import http.client
import json
import os
import re
import signal
import subprocess
import sys
import threading
import time

LISTENING = re.compile(rb"HttpListener: Listening on port (\d+)")


class Stack:
    def __init__(self, bin_dir, root, origins="*", simulator=()):
        self.bin_dir = bin_dir
        self.simulator = list(simulator)
        self.root = root
        self.origins = origins
        self.port = 0
        self.log = os.path.join(root, "service.log")
        self.tape = os.path.join(root, "tape.txt")
        self._sim = None
        self._service = None

    def start(self, timeout=60):
        etc = os.path.join(self.root, "opt/zelvotillgate/etc")
        os.makedirs(etc, exist_ok=True)
        self._sim = subprocess.Popen(
            [os.path.join(self.bin_dir, "cashbox-sim"), "--msg-port", "0", "--query-port", "0",
             "--tape", self.tape] + self.simulator, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        first = self._sim.stdout.readline().decode()
        ports = dict(part.split("=") for part in first.split())
        with open(os.path.join(etc, "tillgate.conf"), "w") as conf:
            conf.write("[TILLGATE]\ndeviceType=1\ndiscoveryAddress=127.0.0.1\norigins=%s\n"
                       "busHost=127.0.0.1\nbusMsgPort=%s\nbusQueryPort=%s\n"
                       % (self.origins, ports["msg"], ports["query"]))
        with open(os.path.join(etc, "tillgatelistener.conf"), "w") as conf:
            conf.write("[LISTENER]\nhost=127.0.0.1\nport=0\nminThreads=2\nmaxThreads=20\n"
                       "readTimeout=10000\nmaxRequestSize=16000\nmaxMultiPartSize=1000000\n")
        env = dict(os.environ, TILLGATE_ROOT=self.root)
        self._service = subprocess.Popen([os.path.join(self.bin_dir, "tillgate")], env=env,
                                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        listening = threading.Event()
        threading.Thread(target=self._copy_log, args=(listening,), daemon=True).start()
        if not listening.wait(timeout) or not self.port:
            raise RuntimeError("the service did not listen; see " + self.log)
        # The service joins the bus in the background: ready once the
        # cashbox answers.
        deadline = time.monotonic() + timeout
        while self.request("GET", "/cashboxstatus.json")[0] != 200:
            if time.monotonic() > deadline:
                raise RuntimeError("the cashbox did not answer; see " + self.log)
            time.sleep(0.1)
        return self

    def _copy_log(self, listening):
        with open(self.log, "wb") as log:
            for line in self._service.stderr:
                log.write(line)
                log.flush()
                match = LISTENING.search(line)
                if match:
                    self.port = int(match.group(1))
                    listening.set()
        listening.set()

    def request(self, method, path, body=None, headers=None, credentials="1:30"):
        """One exchange on a fresh connection: (status, reason, headers, body)."""
        sent = dict(headers or {})
        if credentials is not None:
            sent["Authorization"] = "Basic " + base64.b64encode(credentials.encode()).decode()
        if isinstance(body, (dict, list)):
            body = json.dumps(body, ensure_ascii=False).encode()
            sent.setdefault("Content-Type", "application/json")
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        try:
            connection.request(method, path, body=body, headers=sent)
            answer = connection.getresponse()
            return answer.status, answer.reason, dict(answer.getheaders()), answer.read()
        finally:
            connection.close()

    def stop(self):
        for process in (self._service, self._sim):
            if process and process.poll() is None:
                process.terminate()
                try:
                    process.wait(15)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("bin_dir")
    parser.add_argument("root")
    parser.add_argument("--origins", default="*")
    options = parser.parse_args()
    stack = Stack(options.bin_dir, options.root, options.origins)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        stack.start()
        print(json.dumps({"port": stack.port, "log": stack.log, "root": stack.root}), flush=True)
        sys.stdin.read()
    finally:
        stack.stop()


if __name__ == "__main__":
    main()
