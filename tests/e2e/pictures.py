"""Reading the pictures the tests compare: the game's PNG screenshots and X11 window dumps (xwd)."""
import struct
import zlib


def read_png_rgb(data):
    """(width, height, rows of (r, g, b) bytes) of an 8-bit RGB PNG without filters, as the game writes."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, width, height, packed = 8, 0, 0, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert (depth, colour) == (8, 2), "expected 8-bit RGB"
        elif kind == b"IDAT":
            packed += body
        pos += 12 + length
    raw = zlib.decompress(packed)
    stride = width * 3 + 1
    rows = []
    for y in range(height):
        line = raw[y * stride:(y + 1) * stride]
        assert line[0] == 0, "filtered rows are not expected"
        rows.append(line[1:])
    return width, height, rows


def read_xwd_rgb(data):
    """(width, height, rows of (r, g, b) bytes) of a 24/32-bit TrueColor xwd dump."""
    fields = struct.unpack(">25I", data[:100])
    header_size, _, _, depth, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    masks = fields[14:17]
    ncolors = fields[19]
    assert bits_per_pixel == 32 and depth >= 24, "expected a 24-bit screen"
    start = header_size + ncolors * 12
    endian = "<" if byte_order == 0 else ">"
    shifts = [(m & -m).bit_length() - 1 for m in masks]
    rows = []
    for y in range(height):
        line = data[start + y * bytes_per_line:start + y * bytes_per_line + width * 4]
        out = bytearray()
        for (p,) in struct.iter_unpack(endian + "I", line):
            out += bytes(((p & m) >> s) & 0xFF for m, s in zip(masks, shifts))
        rows.append(bytes(out))
    return width, height, rows


def to_565(picture):
    """The picture reduced to the 5:6:5 pixels it was made from."""
    width, height, rows = picture
    out = []
    for row in rows:
        out.append(bytes(c >> (2 if i % 3 == 1 else 3) for i, c in enumerate(row)))
    return width, height, out


def differing_pixels(a, b):
    (wa, ha, ra), (wb, hb, rb) = to_565(a), to_565(b)
    if (wa, ha) != (wb, hb):
        return wa * ha
    count = 0
    for x, y in zip(ra, rb):
        if x != y:
            count += sum(1 for i in range(0, len(x), 3) if x[i:i + 3] != y[i:i + 3])
    return count
