#!/usr/bin/env python3
"""One HTTP exchange with the installed service on 127.0.0.1.

Usage: http.py PORT METHOD PATH [--user NAME:PASSWORD] [--body FILE]
                [--session ID] [--wait SECONDS]
Prints the status code on the first line and the body after it. --session
sets the receipt's "sessionId" in the JSON body; --wait repeats the request
until it answers 200 (connection refused included) or the time is up.
Status 0 stands for no answer at all.
"""
import argparse
import base64
import http.client
import json
import sys
import time


def exchange(options, body):
    headers = {}
    if options.user:
        headers["Authorization"] = "Basic " + base64.b64encode(options.user.encode()).decode()
    if body is not None:
        headers["Content-Type"] = "application/json"
    connection = http.client.HTTPConnection("127.0.0.1", options.port, timeout=30)
    try:
        connection.request(options.method, options.path, body=body, headers=headers)
        answer = connection.getresponse()
        return answer.status, answer.read()
    finally:
        connection.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("port", type=int)
    parser.add_argument("method")
    parser.add_argument("path")
    parser.add_argument("--user")
    parser.add_argument("--body")
    parser.add_argument("--session")
    parser.add_argument("--wait", type=float, default=0)
    options = parser.parse_args()
    body = None
    if options.body:
        with open(options.body, "rb") as source:
            body = source.read()
        if options.session:
            receipt = json.loads(body)
            receipt["document"]["sessionId"] = options.session
            body = json.dumps(receipt, ensure_ascii=False).encode()
    deadline = time.monotonic() + options.wait
    while True:
        try:
            status, answer = exchange(options, body)
        except OSError as error:
            status, answer = 0, str(error).encode()
        if status == 200 or time.monotonic() >= deadline:
            break
        time.sleep(0.2)
    sys.stdout.write("%d\n" % status)
    sys.stdout.flush()
    sys.stdout.buffer.write(answer)
    return 0


if __name__ == "__main__":
    sys.exit(main())
