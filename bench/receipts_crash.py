#!/usr/bin/env python3
"""Receipts under load with a SIGKILL of the service in the middle.

The service (device type 1) and the cashbox simulator run on loopback under a
temporary installation root. CLIENTS threads post receipts, each under a
session id of its own, for LOAD_SECONDS; then the service is killed with
SIGKILL, started again on the same root, and every receipt among the newest
REPLAYED answered 200 before the kill is posted again. It must answer 200 with
the same document.

usage: bench/receipts_crash.py [BUILD-DIR]   (tillgate and cashbox-sim built)
environment: CLIENTS (8), LOAD_SECONDS (3), REPLAYED (90), SIM_ARGS (extra
             simulator options, e.g. --no-answer-push)
Prints: answered=N replayed=N lost=N; exits 1 when any was lost.
"""
import base64
import http.client
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
CLIENTS = int(os.environ.get("CLIENTS", "8"))
LOAD_SECONDS = float(os.environ.get("LOAD_SECONDS", "3"))
REPLAYED = int(os.environ.get("REPLAYED", "90"))
AUTH = "Basic " + base64.b64encode(b"1:30").decode()
TEMPLATE = json.load(open(os.path.join(ROOT, "docs", "examples", "receipt.json")))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def request(port, method, path, body=None, timeout=30):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    try:
        headers = {"Authorization": AUTH}
        if body is not None:
            headers["Content-Type"] = "application/json"
        connection.request(method, path, body=body, headers=headers)
        answer = connection.getresponse()
        return answer.status, answer.read()
    finally:
        connection.close()


def start_service(root, port, log):
    env = dict(os.environ, TILLGATE_ROOT=root)
    service = subprocess.Popen([os.path.join(BUILD, "bin", "tillgate")], env=env, stdout=log,
                               stderr=subprocess.STDOUT)
    deadline = time.time() + 60
    while time.time() < deadline:
        try:
            if request(port, "GET", "/cashboxstatus.json", timeout=5)[0] == 200:
                return service
        except OSError:
            pass
        time.sleep(0.1)
    raise SystemExit("the service did not come up")


def receipt(session):
    document = json.loads(json.dumps(TEMPLATE))
    document["document"]["sessionId"] = session
    document["document"]["print"] = 0
    return json.dumps(document).encode()


def main():
    work = tempfile.mkdtemp()
    sim = service = None
    try:
        sim = subprocess.Popen([os.path.join(BUILD, "bin", "cashbox-sim"), "--msg-port", "0", "--query-port", "0"]
                               + os.environ.get("SIM_ARGS", "").split(),
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        ports = dict(item.split("=") for item in sim.stdout.readline().split())
        port = free_port()
        etc = os.path.join(work, "root", "opt", "zelvotillgate", "etc")
        os.makedirs(etc)
        with open(os.path.join(etc, "tillgatelistener.conf"), "w") as f:
            f.write("[LISTENER]\nport=%d\nminThreads=2\nmaxThreads=%d\nreadTimeout=60000\n" % (port, CLIENTS + 10))
        with open(os.path.join(etc, "tillgate.conf"), "w") as f:
            f.write("[TILLGATE]\ndeviceType=1\ndiscoveryAddress=127.0.0.1\nbusHost=127.0.0.1\n"
                    "busMsgPort=%s\nbusQueryPort=%s\n" % (ports["msg"], ports["query"]))
        log = open(os.path.join(work, "service.log"), "ab")
        root = os.path.join(work, "root")
        service = start_service(root, port, log)
        status, body = request(port, "GET", "/cycleopen.json")
        if status != 200:
            raise SystemExit("opening the shift failed: %d %r" % (status, body))

        answered = []  # (session, body) of every receipt answered 200
        lock = threading.Lock()
        stop = threading.Event()
        prefix = "crash-%d-%d" % (os.getpid(), int(time.time()))

        def client(number):
            sent = 0
            while not stop.is_set():
                session = "%s-%d-%d" % (prefix, number, sent)
                sent += 1
                try:
                    status, body = request(port, "POST", "/fiscalcheck.json", receipt(session))
                except OSError:
                    return
                if status == 200:
                    with lock:
                        answered.append((session, body))

        threads = [threading.Thread(target=client, args=(i,)) for i in range(CLIENTS)]
        for thread in threads:
            thread.start()
        time.sleep(LOAD_SECONDS)
        service.send_signal(signal.SIGKILL)
        service.wait()
        stop.set()
        for thread in threads:
            thread.join()

        service = start_service(root, port, log)
        # The register numbers its documents in the order it registers them;
        # the order in which these threads got their answers may differ.
        answered.sort(key=lambda entry: json.loads(entry[1])["document"]["fiscalDocNumber"])
        newest = answered[-REPLAYED:]
        lost = 0
        for session, body in newest:
            status, again = request(port, "POST", "/fiscalcheck.json", receipt(session))
            if status != 200 or json.loads(again)["document"] != json.loads(body)["document"]:
                lost += 1
                print("lost", session, status, again[:200], file=sys.stderr)
        print("answered=%d replayed=%d lost=%d (%d answered 200 before the kill)"
              % (len(newest), len(newest) - lost, lost, len(answered)))
        return 1 if lost else 0
    finally:
        for process in (service, sim):
            if process and process.poll() is None:
                process.terminate()
                process.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
