"""The pictures the tests compare, the game's PNG screenshots and X11 window dumps (xwd), as
arrays of the 5:6:5 pixels they were made from."""
import io
import struct

import numpy as np
from PIL import Image


def png_rgb(data):
    """An 8-bit RGB array (height, width, 3) of a PNG, read with Pillow."""
    with Image.open(io.BytesIO(data)) as picture:
        if picture.format != "PNG":
            raise ValueError("not a PNG")
        return np.asarray(picture.convert("RGB"))


def png_565(data):
    """A PNG, as the game writes its screenshots, reduced to 5:6:5."""
    rgb = png_rgb(data)
    return pack_565(rgb[..., 0], rgb[..., 1], rgb[..., 2])


def xwd_565(data):
    """A 24/32-bit TrueColor xwd dump reduced to 5:6:5."""
    fields = struct.unpack(">25I", data[:100])
    header_size, _, _, depth, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    masks, ncolors = fields[14:17], fields[19]
    assert depth >= 24 and bits_per_pixel in (24, 32), "expected a 24-bit screen, not %r" % (fields[:13],)
    start = header_size + ncolors * 12
    rows = np.frombuffer(data, dtype=np.uint8, count=height * bytes_per_line, offset=start).reshape(height, bytes_per_line)
    # pixels of three or four bytes, packed along each line
    size = bits_per_pixel // 8
    parts = rows[:, :width * size].reshape(height, width, size).astype(np.uint32)
    if byte_order != 0:
        parts = parts[..., ::-1]
    words = sum(parts[..., i] << (8 * i) for i in range(size))
    r, g, b = (((words & m) >> ((m & -m).bit_length() - 1)) & 0xFF for m in masks)
    return pack_565(r, g, b)


def pack_565(r, g, b):
    r, g, b = (np.asarray(c, dtype=np.uint16) for c in (r, g, b))
    return (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)


def differing_pixels(a, b):
    return a.size if a.shape != b.shape else int(np.count_nonzero(a != b))
