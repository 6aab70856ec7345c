#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes the seed inputs of the fuzz targets into fuzz/corpus/<target>/.

The seeds are committed; run this again only when an input format changes. The package seeds
(fuzz/corpus/package) are hand-made archives and are not written here.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---- discovery: received datagrams ----
REQUEST = '<?xml version="1.0" ?>\n<event>\n\t<active>search</active>\n\t<type>req</type>\n</event>\n'
ANSWER = ('<?xml version="1.0" ?>\n<event>\n\t<active>search</active>\n\t<type>ack</type>\n'
          '\t<ip>10.0.0.7</ip>\n\t<id>1019901</id>\n\t<mac>00:11:22:33:44:55</mac>\n'
          '\t<version>V2.1</version>\n</event>\n')
put("discovery", "request.xml", REQUEST)
put("discovery", "answer.xml", ANSWER)
put("discovery", "answer_entities.xml",
    '<event><active>search</active><type>ack</type><ip>10.0.0.8</ip>'
    '<mac>&lt;b&gt;&amp;&#65;&#x42;</mac><!-- c --><![CDATA[x]]></event>')
put("discovery", "answer_cut.xml", '<event><active>search</active><type>ack</type><ip>1.2.3.4</ip><id>12')
put("discovery", "nested.xml",
    '<event><active>search</active><type>ack</type>' + '<a>' * 40 + '</a>' * 40 + '</event>')

# ---- record stream: settings byte, then pieces (length byte, bytes) ----
def rec(cmd, value):
    return struct.pack("<II", cmd, value) + bytes((i * 7) & 0xFF for i in range(8, 136))


def pieces(stream, cuts):
    out = b""
    at = 0
    for cut in cuts:
        out += bytes([cut]) + stream[at:at + cut]
        at += cut
    if at < len(stream):
        out += b"\x00" + stream[at:]
    return out


progress = rec(1, 40) + rec(2, 60) + rec(3, 1)
put("records", "whole", b"\x80" + pieces(progress, []))
put("records", "split", b"\xc5" + pieces(progress, [1, 135, 100, 50]))
put("records", "failed_finish", b"\x8a" + pieces(rec(1, 100) + rec(3, 0) + rec(2, 5), [200]))
put("records", "unknown_codes", b"\x33" + pieces(rec(9, 1) + rec(0, 0) + rec(1, 500) + rec(3, 7), [7, 7, 7]))
put("records", "no_finish", b"\x00" + pieces(rec(1, 10) + rec(2, 20)[:60], [255]))

# ---- image file: settings byte, then the file ----
def image(data, xor_flag=0, xor_key=0, length=None, crc=None):
    keyed = bytes(b ^ xor_key for b in data) if xor_flag else data
    right = zlib.crc32(keyed, 0xFFFFFFFF) ^ 0xFFFFFFFF  # the devices' CRC: no inversions
    trailer = bytearray(0xA0 + i & 0xFF for i in range(204))
    struct.pack_into("<II", trailer, 4, len(data) if length is None else length,
                     right if crc is None else crc)
    trailer[84] = xor_key
    trailer[85] = xor_flag
    return data + bytes(trailer)


put("image", "good", b"\x00" + image(b"abcdefgh" * 8))
put("image", "xor", b"\x0a" + image(bytes(range(200)), xor_flag=1, xor_key=0x5A))
put("image", "short_length", b"\x03" + image(b"0123456789", length=4))
put("image", "long_length", b"\x04" + image(b"0123456789", length=0xFFFFFFFF))
put("image", "trailer_only", b"\x05" + image(b""))

# ---- settings: config.ini ----
put("settings", "english.ini", "[Settings]\nlanguage=en\ndebug=1\nfake_burn=0\n")
put("settings", "case.ini", "[settings]\r\nLANGUAGE = ch ; note\r\nDebug=  -42\r\nFAKE_BURN=2x\r\n")
put("settings", "huge.ini", "[Settings]\ndebug=99999999999999999999\nfake_burn=-2147483649\n")
put("settings", "broken.ini", "debug=1\n[Settings\nnot a line\n[Settings]\nlanguage\n  continued\ndebug=1\ndebug=0\n")
put("settings", "other.ini", "[Other]\ndebug=1\n[Settings]\n;debug=1\n#fake_burn=1\n")
put("settings", "long_lines.ini",
    "[Settings]\n; " + "a long comment " * 20 + "\nlanguage=" + "en" * 150 + "\ndebug=0\n")
