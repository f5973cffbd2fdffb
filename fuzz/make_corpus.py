#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets: real client packets in the
handler harness's input format (see handler_fuzzer.cpp), and database texts.

    python3 fuzz/make_corpus.py
"""
import pathlib
import shutil
import struct

ROOT = pathlib.Path(__file__).resolve().parent
HANDLER = ROOT / "corpus" / "handler"
PACKET_DB = ROOT / "corpus" / "packet_db"


def le16(value):
    return struct.pack("<H", value & 0xFFFF)


def le32(value):
    return struct.pack("<I", value & 0xFFFFFFFF)


def text(value, width):
    return value.encode("ascii").ljust(width, b"\0")[:width]


# Client packets.
LOGIN = le16(0x0064) + le32(20) + text("tester", 24) + text("secret", 24) + b"\x00"
CHAR_CONNECT = le16(0x0065) + le32(2000000) + le32(1) + le32(2) + le16(0) + b"\x01"
SELECT = le16(0x0066) + b"\x02"
MAP_LOGIN = le16(0x0072) + le32(2000000) + le32(19002) + le32(1) + le32(12345) + b"\x01"
MAP_LOADED = le16(0x007D)
TICK = le16(0x007E) + le32(777)
WALK = le16(0x0085) + bytes([0x26, 0x0A, 0xB0])  # to 152, 171
CHAT_TEXT = b"Tester : hello there"
CHAT = le16(0x008C) + le16(4 + len(CHAT_TEXT)) + CHAT_TEXT  # the length counts the head
EMOTION = le16(0x00BF) + b"\x05"
USER_COUNT = le16(0x00C1)
RESTART = le16(0x00B2) + b"\x01"
UNKNOWN = le16(0x7A7A) + b"\x00" * 6


def append(packet, target=0):
    return bytes([target << 5 | 0]) + le16(len(packet)) + packet


def pieces(packet, size, target=0):
    return bytes([target << 5 | 1]) + le16(len(packet)) + packet + bytes([size - 1])


def handle(calls=1, target=0):
    return bytes([target << 5 | 2, calls - 1])


def quiet(calls=1, target=0):
    return bytes([target << 5 | 3, calls - 1])


def harness(ops, flags=0, state=0, version=0, db_text=None):
    head = bytes([flags | (1 if db_text is not None else 0)])
    if db_text is not None:
        head += le16(len(db_text)) + db_text
    return head + bytes([state, version]) + b"".join(ops)


def seeds():
    map_packets = [MAP_LOADED, TICK, WALK, CHAT, EMOTION, USER_COUNT, RESTART]
    yield "login", harness([append(LOGIN), handle()])
    yield "char_connect", harness([append(CHAR_CONNECT), handle()])
    yield "char_select", harness([append(CHAR_CONNECT + SELECT), handle(2)], flags=16)
    yield "map_login", harness([append(MAP_LOGIN), handle()])
    # Character select marks the record, so the map login that follows on the
    # reused record runs version detection again.
    yield "road", harness([append(LOGIN), handle(), append(CHAR_CONNECT), handle(),
                           append(SELECT), handle(), append(MAP_LOGIN), handle()])
    yield "walk", harness([append(MAP_LOGIN), handle(), append(WALK), handle()])
    yield "chat", harness([append(MAP_LOGIN), handle(), append(CHAT), handle()])
    yield "emotion", harness([append(MAP_LOGIN), handle(), append(EMOTION), handle()])
    yield "map_session", harness(
        [append(MAP_LOGIN), handle()] + [append(p) + handle() for p in map_packets])
    yield "three_at_once", harness([append(MAP_LOGIN + WALK + CHAT), handle(3)])
    yield "in_map_peer", harness([append(CHAT, target=1), handle(target=1)], state=3, version=5)
    yield "warp_and_reload", harness([append(MAP_LOGIN), handle(), bytes([6, 10]) + b"prt_in.gat",
                                      bytes([5, 3]), append(MAP_LOADED), handle()])
    yield "unknown", harness([append(UNKNOWN + WALK), handle(2)], flags=2, state=3, version=5)
    # More than the buffer holds in one receive: the append takes what fits.
    yield "full_buffer", harness([append(MAP_LOGIN), handle(), append(WALK * 420)]
                                 + [handle(4)] * 8 + [append(CHAT * 30), handle(4)])
    yield "garbage_burst", harness([append(b"\xab" * 2100), handle(), append(b"\xab" * 100),
                                    handle()])
    # As TCP may deliver them: a map login and a walk in pieces, a chat and a
    # walk in one read, a walk that stays short.
    yield "pieces", harness([pieces(MAP_LOGIN, 4), pieces(WALK, 1), pieces(CHAT + WALK, 3),
                             handle()])
    yield "short_walk", harness([append(MAP_LOGIN), handle(), append(WALK[:3]), handle(),
                                 quiet()])
    db = (b"packet_ver: 5\n0x0072,19,wanttoconnection,2:6:10:14:18\n"
          b"0x0085,5,walktoxy,2\n0x008C,-1,globalmessage,2:4\n")
    yield "own_table", harness([append(MAP_LOGIN), handle(), append(WALK + CHAT), handle(2)],
                               db_text=db)


def main():
    for folder in (HANDLER, PACKET_DB):
        folder.mkdir(parents=True, exist_ok=True)
    for name, data in seeds():
        (HANDLER / name).write_bytes(data)
    shutil.copyfile(ROOT.parent / "data" / "packet_db.txt", PACKET_DB / "shipped")
    (PACKET_DB / "edges").write_bytes(
        b"// edges\r\n  //packet_ver: 9\npacket_ver: 0\n0x72,19,wanttoconnection,2:6:10\r\n"
        b"packet_ver:700\n114,-1.5,loadendack,0\npacket_ver: 3\n0X72,2,ticksend,1:2:3:4:5:6:7:8:9:10:11\n"
        b"0xFFFF, 7 ,emotion, 2 : 4\t,extra\nversion packet_ver: 4\nnot a line\n")


if __name__ == "__main__":
    main()
