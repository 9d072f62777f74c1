#!/usr/bin/python3
"""Writes a small ICC v2 matrix/TRC display profile with wide (Adobe RGB like) primaries and gamma 2.2.
Used to tag the JPEG and PNG fixtures that test colour management. Usage: make_icc.py OUT.icc"""
import struct, sys

def s15(v):
    return struct.pack('>i', int(round(v * 65536)))

def xyz(x, y, z):
    return b'XYZ ' + b'\0' * 4 + s15(x) + s15(y) + s15(z)

def desc(text):
    t = text.encode('ascii') + b'\0'
    return (b'desc' + b'\0' * 4 + struct.pack('>I', len(t)) + t + b'\0' * 4 + b'\0' * 4 +
            b'\0' * 2 + b'\0' + b'\0' * 67)

def text(t):
    return b'text' + b'\0' * 4 + t.encode('ascii') + b'\0'

D50 = struct.pack('>3i', 0xF6D6, 0x10000, 0xD32D)  # the PCS illuminant exactly as ICC.1 writes it
curve = b'curv' + b'\0' * 4 + struct.pack('>I', 1) + struct.pack('>H', 0x0233) + b'\0\0'  # gamma 563/256
tags = [
    (b'desc', desc('Lumenor test wide gamut')),
    (b'cprt', text('No copyright, test data')),
    (b'wtpt', b'XYZ ' + b'\0' * 4 + D50),
    (b'rXYZ', xyz(0.6097, 0.3111, 0.0195)),
    (b'gXYZ', xyz(0.2053, 0.6257, 0.0609)),
    (b'bXYZ', xyz(0.1492, 0.0632, 0.7446)),
    (b'rTRC', curve), (b'gTRC', curve), (b'bTRC', curve),
]
offset = 128 + 4 + 12 * len(tags)
table, data, seen = b'', b'', {}
for sig, body in tags:
    if body in seen:
        off, size = seen[body]
    else:
        while (offset + len(data)) % 4:
            data += b'\0'
        off, size = offset + len(data), len(body)
        seen[body] = (off, size)
        data += body
    table += sig + struct.pack('>II', off, size)
body = struct.pack('>I', len(tags)) + table + data
size = 128 + len(body)
header = struct.pack('>I', size) + b'lcms' + struct.pack('>I', 0x02100000) + b'mntr' + b'RGB ' + b'XYZ '
header += struct.pack('>6H', 2024, 1, 1, 0, 0, 0) + b'acsp' + b'APPL' + b'\0' * 4 + b'\0' * 4 + b'\0' * 4
header += b'\0' * 8 + struct.pack('>I', 0) + D50 + b'\0' * 4
header += b'\0' * (128 - len(header))
assert len(header) == 128
open(sys.argv[1], 'wb').write(header + body)
