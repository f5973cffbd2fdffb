#!/usr/bin/env python3
"""A client that plays the whole road against Quib-Server and checks every reply.

    road_client.py --ready-file quib.ready          # the port from the server's ready file
    road_client.py --port 6900 --version 7          # another packet version
    road_client.py --port 6900 --stop-after characters
    road_client.py                                  # $QUIB_READY, else $QUIB_PORT (examples/ci/client-test.sh)

It logs in, takes the server it is shown, lists the characters, selects one,
enters the map at the address the selection names with the map login of its
packet version (read from packet_db.txt), reports the map loaded, walks,
chats and shows an emotion. Each reply is checked byte by byte where the
server's answer is fixed; the first surprise ends the client with status 1
and says what came instead. --stop-after ends it after a step, as a client
that breaks there would; --unknown sends an id the server does not know once
in the map (a server with --strict ends there, and so does this client).
Python 3, standard library only.
"""

import argparse
import json
import os
import socket
import struct
import sys
import time

ACCOUNT = 2000000
FIRST_CHARACTER = 19000
STEPS = ("login", "characters", "select", "map", "loaded", "walk", "chat", "emotion")


class Surprise(Exception):
    """A reply that is not the one the server owes."""


class NoReply(Surprise):
    """Not a byte of a reply came in time."""


def read_packet_db(path, version):
    """The named packets of `version` in packet_db.txt: name -> (id, length, positions).

    A section starts as a copy of the version one below it; a packet line sets
    one named packet of its section.
    """
    sections = {}
    current = None
    with open(path, encoding="latin-1") as db:
        for line in db:
            line = line.replace("\r", "").strip(" \n")
            if not line or line.startswith("//"):
                continue
            if "packet_ver:" in line:
                current = int(line.split(":", 1)[1].strip() or 0)
                sections[current] = dict(sections.get(current - 1, {}))
                continue
            fields = line.split(",")
            if current is None or len(fields) < 4:
                continue
            ident = int(fields[0], 16) if fields[0].startswith("0x") else int(fields[0])
            positions = [int(p) for p in fields[3].split(":") if p.strip()]
            sections[current][fields[2]] = (ident, int(fields[1]), positions)
    if version not in sections or "wanttoconnection" not in sections[version]:
        raise SystemExit(f"{path} has no map login for packet version {version}")
    return sections[version]


def default_packet_db():
    """packet_db.txt as the server looks for it from a source tree or an install."""
    here = os.path.dirname(os.path.abspath(__file__))
    for candidate in (os.path.join(here, "..", "data", "packet_db.txt"),
                      os.path.join(here, "..", "packet_db.txt"),  # the Windows zip
                      os.path.join(here, "packet_db.txt"),
                      "/usr/share/quib-server/packet_db.txt"):
        if os.path.isfile(candidate):
            return candidate
    raise SystemExit("no packet_db.txt found: give one with --packet-db")


def cell(x, y):
    """Three bytes: x and y, ten bits each."""
    return bytes([x >> 2 & 0xFF, (x << 6 | y >> 4) & 0xFF, y << 4 & 0xFF])


class Connection:
    def __init__(self, address, port, timeout):
        self.sock = socket.create_connection((address, port), timeout=timeout)

    def send(self, data):
        self.sock.sendall(data)

    def read(self, count, what):
        data = b""
        while len(data) < count:
            try:
                chunk = self.sock.recv(count - len(data))
            except socket.timeout:
                kind = NoReply if not data else Surprise
                raise kind(f"{what}: no reply within {self.sock.gettimeout()} s"
                           f" ({len(data)} of {count} bytes came)") from None
            if not chunk:
                raise Surprise(f"{what}: the server closed after {len(data)} of {count} bytes")
            data += chunk
        return data

    def expect(self, expected, what):
        got = self.read(len(expected), what)
        if got != expected:
            raise Surprise(f"{what}: got {got.hex()} instead of {expected.hex()}")
        return got

    def expect_closed(self, what):
        try:
            rest = self.sock.recv(1)
        except socket.timeout:
            raise Surprise(f"{what}: the server did not close the connection") from None
        if rest:
            raise Surprise(f"{what}: more bytes came ({rest.hex()}) where the server closes")
        self.sock.close()

    def close(self):
        self.sock.close()


def send_emotion(world, db):
    ident, length, _ = db["emotion"]
    world.send(struct.pack("<HB", ident, 7) + bytes(max(length - 3, 0)))


def read_emotion(world):
    emotion = world.read(7, "emotion reply")
    if struct.unpack_from("<H", emotion)[0] != 0x00C0 or emotion[6] != 7:
        raise Surprise(f"emotion reply: {emotion.hex()}")


def emote_past_unknown(world, db, timeout):
    """Emotes until the server answers, after an unknown packet.

    The server drops whatever it holds buffered behind an unknown packet, so an
    emotion that came with it gets no reply; one sent after the server took
    it does. A tick is at most a second and one packet is handled per tick:
    three seconds without a reply mean the emotion was dropped.
    """
    world.sock.settimeout(3)
    try:
        for _ in range(3):
            send_emotion(world, db)
            try:
                read_emotion(world)
                return
            except NoReply:
                pass
        raise Surprise("after the unknown packet: no emotion was answered")
    finally:
        world.sock.settimeout(timeout)


def play(args, db, say):
    address, port, timeout = args.address, args.port, args.timeout

    # Login: one server, this one; then the server closes.
    login = Connection(address, port, timeout)
    login.send(struct.pack("<H", 0x0064) + bytes(53))
    servers = login.read(79, "server list")
    head = struct.unpack_from("<HHiiii", servers)
    if head[:2] != (0x0069, 79) or head[3] != ACCOUNT:
        raise Surprise(f"server list: head {servers[:24].hex()}")
    server_address = socket.inet_ntoa(servers[47:51])
    server_port = struct.unpack_from("<H", servers, 51)[0]
    if servers[53:69] != b"Quib-Test Server":
        raise Surprise(f"server list: server named {servers[53:73]!r}")
    login.expect_closed("after the server list")
    say("login", f"server list: Quib-Test Server at {server_address}:{server_port}")
    if args.stop_after == "login":
        return

    # Characters: the account echoed, then nine characters.
    characters = Connection(server_address, server_port, timeout)
    characters.send(struct.pack("<Hi", 0x0065, ACCOUNT) + bytes(11))
    characters.expect(struct.pack("<i", ACCOUNT), "account echo")
    listing = characters.read(978, "character list")
    if struct.unpack_from("<HH", listing) != (0x006B, 978):
        raise Surprise(f"character list: head {listing[:4].hex()}")
    for slot in range(9):
        entry = listing[24 + 106 * slot:24 + 106 * (slot + 1)]
        name = entry[74:98].split(b"\0", 1)[0]
        if struct.unpack_from("<i", entry)[0] != FIRST_CHARACTER + slot or name != b"Slot %d" % (slot + 1):
            raise Surprise(f"character list: entry {slot} is {entry[:8].hex()} {name!r}")
    say("characters", "nine characters")
    if args.stop_after == "characters":
        characters.close()
        return

    # Select: the map server to go to, then the server closes.
    characters.send(struct.pack("<HB", 0x0066, args.slot))
    selected = characters.read(28, "map server")
    ident, character = struct.unpack_from("<Hi", selected)
    if ident != 0x0071 or character != FIRST_CHARACTER + args.slot:
        raise Surprise(f"map server: {selected[:6].hex()}")
    map_name = selected[6:22].split(b"\0", 1)[0].decode("latin-1")
    map_address = socket.inet_ntoa(selected[22:26])
    map_port = struct.unpack_from("<H", selected, 26)[0]
    characters.expect_closed("after the map server")
    say("select", f"slot {args.slot}: {map_name} at {map_address}:{map_port}")
    if args.stop_after == "select":
        return

    # Map login, in this version's own form: echo, arrival, two greetings.
    ident, length, _ = db["wanttoconnection"]
    world = Connection(map_address, map_port, timeout)
    world.send(struct.pack("<H", ident) + bytes(length - 2))
    world.expect(struct.pack("<i", ACCOUNT), "account echo")
    arrival = world.read(11, "map login reply")
    if struct.unpack_from("<H", arrival)[0] != 0x0073 or arrival[9:] != b"\x05\x05":
        raise Surprise(f"map login reply: {arrival.hex()}")
    start = arrival[6:9]
    for text in (b"System : Welcome to the Quib-Server!!!",
                 b"System : Note, This is not intended to be a fully functional server."):
        line = world.read(8 + len(text), "greeting")
        if struct.unpack_from("<HH", line) != (0x008D, 8 + len(text)) or line[8:] != text:
            raise Surprise(f"greeting: {line.hex()}")
    say("map", f"in {map_name}, with the map login of packet version {args.version}")
    if args.stop_after == "map":
        world.close()
        return

    # Map loaded: fifty-five statuses and two empty lists.
    ident, length, _ = db["loadendack"]
    world.send(struct.pack("<H", ident) + bytes(max(length - 2, 0)))
    statuses = struct.pack("<HHi", 0x00B0, 1, 99) * 55
    world.expect(statuses + struct.pack("<HH", 0x00A3, 4) + struct.pack("<HH", 0x00A4, 4),
                 "map loaded")
    say("loaded", "statuses and lists")
    if args.stop_after == "loaded":
        world.close()
        return

    if args.unknown:
        world.send(struct.pack("<H", 0x1234) + bytes(4))
        emote_past_unknown(world, db, timeout)
        say("unknown", "sent 0x1234, which the server does not know")

    # A walk to (100, 120): the move from the start cell.
    ident, length, positions = db["walktoxy"]
    walk = bytearray(max(length, positions[0] + 3))
    struct.pack_into("<H", walk, 0, ident)
    walk[positions[0]:positions[0] + 3] = cell(100, 120)
    world.send(bytes(walk[:length]))
    reply = world.read(12, "walk reply")
    if struct.unpack_from("<H", reply)[0] != 0x0087 or reply[6:8] != start[:2] or reply[9:11] != b"\x90\x78":
        raise Surprise(f"walk reply: {reply.hex()}")
    say("walk", "to (100, 120)")

    # A chat: every client in the map sees it, this one too.
    ident, _, positions = db["globalmessage"]
    text = b"hello from the road client"
    chat = bytearray(positions[1] + len(text))
    struct.pack_into("<HH", chat, 0, ident, len(chat))
    chat[positions[1]:] = text
    world.send(bytes(chat))
    # The speaker is whatever character the map connection's record holds:
    # the server keeps a record's identity when it hands out its socket again.
    line = world.read(8 + len(text), "chat line")
    if struct.unpack_from("<HH", line) != (0x008D, 8 + len(text)) or line[8:] != text:
        raise Surprise(f"chat line: {line.hex()}")
    say("chat", text.decode())

    # An emotion, seen by every client in the map.
    send_emotion(world, db)
    read_emotion(world)
    say("emotion", "7")
    world.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--ready-file", help="the server's ready file (--ready-file of quib-server)")
    where.add_argument("--port", type=int, help="the server's port")
    parser.add_argument("--address", default="127.0.0.1", help="the server's address (default 127.0.0.1)")
    parser.add_argument("--packet-db", help="packet_db.txt (default: the server's own)")
    parser.add_argument("--version", type=int, default=5, help="the client's packet version (default 5)")
    parser.add_argument("--slot", type=int, default=0, help="the character slot to select (default 0)")
    parser.add_argument("--stop-after", choices=STEPS, help="end after this step, as a broken client would")
    parser.add_argument("--unknown", action="store_true", help="send an unknown packet once in the map")
    parser.add_argument("--timeout", type=float, default=10, help="seconds to wait for each reply")
    args = parser.parse_args()
    # Under examples/ci/client-test.sh the server's ready file and port are in
    # the environment.
    if args.port is None and not args.ready_file:
        args.ready_file = os.environ.get("QUIB_READY")
        if not args.ready_file and os.environ.get("QUIB_PORT"):
            args.port = int(os.environ["QUIB_PORT"])
        elif not args.ready_file:
            parser.error("give --ready-file or --port (or set QUIB_READY or QUIB_PORT)")

    if args.ready_file:
        deadline = time.monotonic() + args.timeout
        while not os.path.exists(args.ready_file):
            if time.monotonic() > deadline:
                raise SystemExit(f"{args.ready_file} did not appear within {args.timeout} s")
            time.sleep(0.02)
        with open(args.ready_file, encoding="utf-8") as ready:
            server = json.load(ready)
        args.address, args.port = server["address"], server["port"]

    db = read_packet_db(args.packet_db or default_packet_db(), args.version)

    def say(step, what):
        print(f"road_client: {step}: {what}", flush=True)

    try:
        play(args, db, say)
    except (Surprise, OSError) as failure:
        print(f"road_client: {failure}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
