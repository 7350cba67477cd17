#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Vellumtide developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""A clipboard manager for the Wayland tests, made to behave as Plasma's Klipper does.

It reads every new selection of another client several times, one read right after the other,
keeps what the last read got, and once the selection has gone (its owner has ended or let it
go) offers its own copy. Klipper reads a selection three times and keeps an empty text when the
later reads find the owner gone. Other kinds of reader: --keeps empty offers an empty text,
--keeps nothing never offers anything.

It speaks the Wayland wire protocol itself, through the wlr-data-control extension that sway
offers, so that the tests need no toolkit and no generated code. Each read is logged to LOG.

Usage: clipboard_manager.py LOG [--reads N] [--keeps last|empty|nothing]
"""

import argparse
import array
import os
import select
import socket
import struct
import sys

TEXT = "text/plain;charset=utf-8"
# Marks the manager's own copy, so that it does not read it back as a new selection.
OWN = "application/x-vellumtide-test-manager"


def pack_string(text):
    data = text.encode() + b"\0"
    return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)


def unpack_string(payload, offset):
    (length,) = struct.unpack_from("<I", payload, offset)
    text = payload[offset + 4 : offset + 4 + length - 1].decode(errors="replace")
    return text, offset + 4 + length + (-length % 4)


class Connection:
    def __init__(self):
        path = os.path.join(os.environ["XDG_RUNTIME_DIR"], os.environ["WAYLAND_DISPLAY"])
        self.socket = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.socket.connect(path)
        self.objects = {1: self.on_display}
        self.next_id = 2
        self.buffer = b""
        self.fds = []

    def new_object(self, handler):
        object_id = self.next_id
        self.next_id += 1
        self.objects[object_id] = handler
        return object_id

    def request(self, object_id, opcode, arguments=b"", fd=None):
        message = struct.pack("<II", object_id, (8 + len(arguments)) << 16 | opcode) + arguments
        rights = []
        if fd is not None:
            rights = [(socket.SOL_SOCKET, socket.SCM_RIGHTS, array.array("i", [fd]))]
        self.socket.sendmsg([message], rights)

    def dispatch(self):
        data, ancillary, _, _ = self.socket.recvmsg(65536, socket.CMSG_SPACE(28 * 4))
        if not data:
            sys.exit(0)  # the compositor has gone
        for level, kind, fds in ancillary:
            if level == socket.SOL_SOCKET and kind == socket.SCM_RIGHTS:
                self.fds.extend(array.array("i", fds[: len(fds) - len(fds) % 4]))
        self.buffer += data
        while len(self.buffer) >= 8:
            object_id, word = struct.unpack_from("<II", self.buffer)
            size = word >> 16
            if len(self.buffer) < size:
                break
            payload, self.buffer = self.buffer[8:size], self.buffer[size:]
            handler = self.objects.get(object_id)
            if handler:
                handler(word & 0xFFFF, payload)

    def on_display(self, opcode, payload):
        if opcode == 0:  # error
            object_id, code = struct.unpack_from("<II", payload)
            message, _ = unpack_string(payload, 8)
            sys.exit(f"protocol error on object {object_id} ({code}): {message}")


class Manager:
    def __init__(self, connection, log, reads, keeps):
        self.connection = connection
        self.log = log
        self.reads = reads
        self.keeps = keeps
        self.globals = {}
        self.offers = {}  # offer id -> the MIME types it offers
        self.copy = None

        registry = connection.new_object(self.on_registry)
        connection.request(1, 1, struct.pack("<I", registry))  # wl_display.get_registry
        self.roundtrip()
        seat = self.bind(registry, "wl_seat", 1, lambda opcode, payload: None)
        self.manager = self.bind(registry, "zwlr_data_control_manager_v1", 1, None)
        self.device = connection.new_object(self.on_device)
        connection.request(self.manager, 1, struct.pack("<II", self.device, seat))
        print("ready", file=self.log, flush=True)

    def roundtrip(self):
        done = []
        callback = self.connection.new_object(lambda opcode, payload: done.append(True))
        self.connection.request(1, 0, struct.pack("<I", callback))  # wl_display.sync
        while not done:
            self.connection.dispatch()

    def on_registry(self, opcode, payload):
        if opcode == 0:  # global
            (name,) = struct.unpack_from("<I", payload)
            interface, _ = unpack_string(payload, 4)
            self.globals[interface] = name

    def bind(self, registry, interface, version, handler):
        if interface not in self.globals:
            sys.exit(f"the compositor offers no {interface}")
        object_id = self.connection.new_object(handler)
        arguments = (
            struct.pack("<I", self.globals[interface])
            + pack_string(interface)
            + struct.pack("<II", version, object_id)
        )
        self.connection.request(registry, 0, arguments)  # wl_registry.bind
        return object_id

    def on_device(self, opcode, payload):
        if opcode == 0:  # data_offer
            (offer,) = struct.unpack_from("<I", payload)
            self.offers[offer] = []
            self.connection.objects[offer] = lambda op, data: self.on_offer(offer, op, data)
        elif opcode == 1:  # selection
            (offer,) = struct.unpack_from("<I", payload)
            if offer == 0:
                self.offer_copy()
            elif OWN not in self.offers.get(offer, []):
                self.read_all(offer)
            for old in [o for o in self.offers if o != offer]:
                self.connection.request(old, 1)  # zwlr_data_control_offer_v1.destroy
                del self.offers[old]
                del self.connection.objects[old]

    def on_offer(self, offer, opcode, payload):
        if opcode == 0:
            self.offers[offer].append(unpack_string(payload, 0)[0])

    # One read after the other, as a toolkit's blocking reads go: each waits for the end of the
    # one before.
    def read_all(self, offer):
        for _ in range(self.reads):
            reader, writer = os.pipe()
            self.connection.request(offer, 0, pack_string(TEXT), fd=writer)  # receive
            os.close(writer)
            data = b""
            while select.select([reader], [], [], 2)[0]:
                chunk = os.read(reader, 65536)
                if not chunk:
                    break
                data += chunk
            os.close(reader)
            print(f"read {len(data)} bytes", file=self.log, flush=True)
            self.copy = data

    def offer_copy(self):
        if self.copy is None or self.keeps == "nothing":
            return
        if self.keeps == "empty":
            self.copy = b""
        source = self.connection.new_object(lambda op, data: self.on_source(source, op, data))
        self.connection.request(self.manager, 0, struct.pack("<I", source))  # create_data_source
        for mime in (TEXT, "text/plain", OWN):
            self.connection.request(source, 0, pack_string(mime))
        self.connection.request(self.device, 0, struct.pack("<I", source))  # set_selection
        print(f"offered {len(self.copy)} bytes", file=self.log, flush=True)

    def on_source(self, source, opcode, payload):
        if opcode == 0:  # send
            fd = self.connection.fds.pop(0)
            try:
                os.write(fd, self.copy)
            except OSError:
                pass
            os.close(fd)
        elif opcode == 1:  # cancelled
            self.connection.request(source, 1)  # destroy


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("log")
    parser.add_argument("--reads", type=int, default=3)
    parser.add_argument("--keeps", choices=("last", "empty", "nothing"), default="last")
    options = parser.parse_args()
    with open(options.log, "a") as log:
        connection = Connection()
        Manager(connection, log, options.reads, options.keeps)
        while True:
            connection.dispatch()


if __name__ == "__main__":
    main()
