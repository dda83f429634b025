#!/usr/bin/env python3
"""The client side of bench/soak.sh: well-behaved and hostile clients at once.

For SECONDS against the service on 127.0.0.1:PORT:
  - KEEPALIVE clients asking for the cashbox status on keep-alive connections;
  - SLOWLORIS connections sending one header byte every few seconds, never
    ending the request (connected again whenever the service closes them);
  - NONREADERS clients that pipeline requests and never read an answer;
  - RECEIPTS clients posting receipts one after the other, each under a new
    session id, with a pause between them; every receipt answered 200 is
    posted again at once and must be answered 200 with the same document.
At the end the answered receipts among the newest sessions the check cache
keeps (100, less one per receipt client for posts that cross) are posted
once more and must replay too.

usage: bench/soak_load.py PORT SECONDS
environment: KEEPALIVE (100), SLOWLORIS (20), NONREADERS (20), RECEIPTS (4),
             RECEIPT_PAUSE (0.2 s)
Prints one line of counts; exits 1 when a receipt did not replay.
"""
import asyncio
import base64
import json
import os
import sys
import time

PORT = int(sys.argv[1])
SECONDS = float(sys.argv[2])
KEEPALIVE = int(os.environ.get("KEEPALIVE", "100"))
SLOWLORIS = int(os.environ.get("SLOWLORIS", "20"))
NONREADERS = int(os.environ.get("NONREADERS", "20"))
RECEIPTS = int(os.environ.get("RECEIPTS", "4"))
RECEIPT_PAUSE = float(os.environ.get("RECEIPT_PAUSE", "0.2"))
KEPT = 100
AUTH = b"Authorization: Basic " + base64.b64encode(b"1:30") + b"\r\n"
STATUS = b"GET /cashboxstatus.json HTTP/1.1\r\nHost: 127.0.0.1\r\n" + AUTH + b"\r\n"
counts = {"status200": 0, "statusOther": 0, "reconnects": 0, "slowClosed": 0, "nonReaderClosed": 0,
          "receipts200": 0, "receiptsOther": 0, "replayed": 0, "notReplayed": 0}
answered = {}
posted = []


def receipt(session):
    body = json.dumps({"document": {"sessionId": session, "print": 0, "data": {
        "type": 1, "moneyType": 1, "sum": 100, "fiscprops": [{"tag": 1059, "fiscprops": [
            {"tag": 1030, "value": "Bread"}, {"tag": 1079, "value": 100}, {"tag": 1023, "value": 1}]}]}}}).encode()
    return (b"POST /fiscalcheck.json HTTP/1.1\r\nHost: 127.0.0.1\r\n" + AUTH
            + b"Content-Type: application/json\r\nContent-Length: %d\r\n\r\n" % len(body) + body)


async def read_answer(reader):
    head = await reader.readuntil(b"\r\n\r\n")
    status = int(head.split(b" ", 2)[1])
    length = 0
    for line in head.split(b"\r\n"):
        if line.lower().startswith(b"content-length:"):
            length = int(line.split(b":", 1)[1])
    return status, await reader.readexactly(length)


async def keepalive(deadline):
    while time.monotonic() < deadline:
        try:
            reader, writer = await asyncio.open_connection("127.0.0.1", PORT)
            while time.monotonic() < deadline:
                writer.write(STATUS)
                status, _ = await read_answer(reader)
                counts["status200" if status == 200 else "statusOther"] += 1
                await asyncio.sleep(0.2)
            writer.close()
        except (OSError, asyncio.IncompleteReadError, ValueError):
            counts["reconnects"] += 1
            await asyncio.sleep(0.2)


async def slowloris(deadline):
    while time.monotonic() < deadline:
        try:
            reader, writer = await asyncio.open_connection("127.0.0.1", PORT)
            writer.write(b"GET /cashboxstatus.json HTTP/1.1\r\nX-Slow: ")
            while time.monotonic() < deadline:
                await asyncio.sleep(3)
                writer.write(b"a")
                await writer.drain()
                if reader.at_eof():
                    break
            counts["slowClosed"] += 1
            writer.close()
        except (OSError, asyncio.IncompleteReadError):
            counts["slowClosed"] += 1
            await asyncio.sleep(0.5)


async def nonreader(deadline):
    while time.monotonic() < deadline:
        try:
            _, writer = await asyncio.open_connection("127.0.0.1", PORT, limit=1024)
            # Answers pile up unread until the service gives up on the
            # connection.
            writer.transport.set_write_buffer_limits(high=64 * 1024)
            writer.transport.pause_reading()
            while time.monotonic() < deadline:
                writer.write(STATUS * 50)
                await asyncio.wait_for(writer.drain(), timeout=max(0.1, deadline - time.monotonic()))
                await asyncio.sleep(0.5)
            writer.transport.abort()
        except (OSError, asyncio.TimeoutError):
            counts["nonReaderClosed"] += 1
            await asyncio.sleep(0.5)


async def post_receipt(session):
    reader, writer = await asyncio.open_connection("127.0.0.1", PORT)
    try:
        writer.write(receipt(session))
        return await read_answer(reader)
    finally:
        writer.close()


def same_document(first, again):
    return json.loads(again)["document"] == json.loads(first)["document"]


async def replay(session):
    try:
        status, again = await post_receipt(session)
    except (OSError, asyncio.IncompleteReadError, ValueError) as error:
        status, again = 0, str(error).encode()
    if status == 200 and same_document(answered[session], again):
        counts["replayed"] += 1
    else:
        counts["notReplayed"] += 1
        print("not replayed", session, status, again[:200], file=sys.stderr)


async def receipts(number, deadline):
    prefix = "soak-%d-%d-%d" % (os.getpid(), int(time.time()), number)
    sent = 0
    while time.monotonic() < deadline:
        session = "%s-%d" % (prefix, sent)
        sent += 1
        posted.append(session)
        try:
            status, body = await post_receipt(session)
        except (OSError, asyncio.IncompleteReadError, ValueError):
            counts["receiptsOther"] += 1
            continue
        if status == 200:
            counts["receipts200"] += 1
            answered[session] = body
            await replay(session)
        else:
            counts["receiptsOther"] += 1
        await asyncio.sleep(RECEIPT_PAUSE)


async def main():
    deadline = time.monotonic() + SECONDS
    await asyncio.gather(*([keepalive(deadline) for _ in range(KEEPALIVE)]
                           + [slowloris(deadline) for _ in range(SLOWLORIS)]
                           + [nonreader(deadline) for _ in range(NONREADERS)]
                           + [receipts(i, deadline) for i in range(RECEIPTS)]))
    for session in posted[-(KEPT - RECEIPTS):]:
        if session in answered:
            await replay(session)
    print(" ".join("%s=%d" % item for item in counts.items()))
    return 1 if counts["notReplayed"] or not counts["replayed"] else 0


if __name__ == "__main__":
    sys.exit(asyncio.run(main()))
