#!/usr/bin/env python3
"""The line's MES as the tests need it: takes POSTed events on 127.0.0.1,
answers as a real MES would (2xx once per Idempotency-Key, the same 2xx for
a repeat), with faults scripted ahead of the answers: an HTTP status, a slow
answer, a connection closed after the request was read, or an answer that is
not HTTP at all.

  mes_receiver.py --port N --dir DIR [--faults 500,429,slow,close,garbage,...]

Writes DIR/port (the port it listens on, once it listens), and appends one
line per request to DIR/posts.txt: "<event id> <status> <bearer token or ->",
and the record's chain value of each event taken as new to DIR/chains.txt
(the witnesses audit takes).
Stops on SIGTERM or when DIR/stop appears, and then removes DIR/port.
"""
import argparse
import json
import os
import signal
import socket
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

SLOW_SECONDS = 15  # past the sender's receive time-out
STOP_LOOK_SECONDS = 0.2


class Mes:
    def __init__(self, folder, faults):
        self.folder = folder
        self.faults = list(faults)
        self.seen = set()
        self.lock = threading.Lock()

    def next_fault(self):
        with self.lock:
            return self.faults.pop(0) if self.faults else None

    def note(self, event_id, status, token, chain=""):
        with self.lock:
            with open(os.path.join(self.folder, "posts.txt"), "a") as posts:
                posts.write(f"{event_id} {status} {token or '-'}\n")
            if chain:
                with open(os.path.join(self.folder, "chains.txt"), "a") as chains:
                    chains.write(chain + "\n")


def handler_for(mes):
    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def setup(self):
            super().setup()
            self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            self.quick_ack()

        def quick_ack(self):
            # Wine's WinHTTP sends a request's headers and its body apart;
            # acknowledged at once, the body is not held back by the
            # client's Nagle until Linux's delayed ACK (40 ms a request).
            self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)

        def handle_one_request(self):
            self.quick_ack()
            super().handle_one_request()

        def log_message(self, *args):
            pass

        def answer(self, status, body=b"{}"):
            self.send_response(status)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0"))
            self.quick_ack()
            body = self.rfile.read(length)
            key = self.headers.get("Idempotency-Key", "")
            auth = self.headers.get("Authorization", "")
            token = auth[len("Bearer "):] if auth.startswith("Bearer ") else None
            fault = mes.next_fault()
            if fault == "close":
                mes.note(key, "closed", token)
                self.close_connection = True
                self.connection.shutdown(socket.SHUT_RDWR)
                return
            if fault == "garbage":
                mes.note(key, "garbage", token)
                self.close_connection = True
                self.wfile.write(b"\x00\xffnot http at all\r\n\r\n")
                return
            if fault == "slow":
                mes.note(key, "slow", token)
                time.sleep(SLOW_SECONDS)
                return
            if fault is not None:
                mes.note(key, int(fault), token)
                self.answer(int(fault))
                return
            try:
                event = json.loads(body)
            except ValueError:
                mes.note(key, 400, token)
                self.answer(400)
                return
            if event.get("event_id") != key:
                mes.note(key, 422, token)
                self.answer(422)
                return
            with mes.lock:
                repeat = key in mes.seen
                mes.seen.add(key)
            mes.note(key, 200 if repeat else 201, token, "" if repeat else event.get("chain", ""))
            self.answer(200 if repeat else 201)

    return Handler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--dir", required=True)
    parser.add_argument("--faults", default="")
    args = parser.parse_args()
    faults = [f for f in args.faults.split(",") if f]
    mes = Mes(args.dir, faults)
    server = ThreadingHTTPServer(("127.0.0.1", args.port), handler_for(mes))
    server.daemon_threads = True
    with open(os.path.join(args.dir, "port.tmp"), "w") as port:
        port.write(str(server.server_address[1]))
    os.replace(os.path.join(args.dir, "port.tmp"), os.path.join(args.dir, "port"))
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())

    def watch_stop():
        while not os.path.exists(os.path.join(args.dir, "stop")):
            time.sleep(STOP_LOOK_SECONDS)
        server.shutdown()

    threading.Thread(target=watch_stop, daemon=True).start()
    server.serve_forever()
    server.server_close()
    # Gone: the test waits for this before it counts the receiver down.
    os.remove(os.path.join(args.dir, "port"))


if __name__ == "__main__":
    main()
