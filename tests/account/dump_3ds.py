"""The account the program prints for a well-formed 3DS file, worked out here from the
bytes alone, so the real-window tests do not take the C++ reader's word for it.

Covers the subset the die uses: containers, the object name, the vertex, face and
mapping lists; every other chunk is skipped by its length. Also hands back the
vertices, for tests that need to know where the die's corners are.

Run as a script, it prints the account of the file named on the command line.
"""

import struct
import sys

CONTAINERS = (0x4D4D, 0x3D3D, 0x4100)
OBJECT_BLOCK = 0x4000
VERTEX_LIST = 0x4110
FACE_LIST = 0x4120
MAPPING_LIST = 0x4140


class Reader:
    def __init__(self, data):
        self.data = data
        self.pos = 0

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.pos)
        self.pos += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]


def read_account(data):
    """Returns (account bytes, list of (x, y, z) vertices) for well-formed 3DS bytes."""
    reader = Reader(data)
    lines = []
    vertices = []
    while reader.pos < len(data):
        chunk_id, length = reader.take("HI")
        lines.append("ChunkID: %x\n" % chunk_id)
        lines.append("ChunkLenght: %x\n" % length)
        if chunk_id in CONTAINERS:
            continue
        if chunk_id == OBJECT_BLOCK:
            end = data.index(b"\0", reader.pos)
            if end - reader.pos > 19:
                raise ValueError("object name longer than 19 characters: outside this subset")
            reader.pos = end + 1
        elif chunk_id == VERTEX_LIST:
            count = reader.take("H")
            lines.append("Number of vertices: %d\n" % count)
            for _ in range(count):
                vertex = reader.take("fff")
                vertices.append(vertex)
                for axis, value in zip("xyz", vertex):
                    lines.append("Vertices list %s: %f\n" % (axis, value))
        elif chunk_id == FACE_LIST:
            count = reader.take("H")
            lines.append("Number of polygons: %d\n" % count)
            for _ in range(count):
                a, b, c, flags = reader.take("HHHH")
                lines.append("Polygon point a: %d\n" % a)
                lines.append("Polygon point b: %d\n" % b)
                lines.append("Polygon point c: %d\n" % c)
                lines.append("Face flags: %x\n" % flags)
            # The chunks after the faces are walked like any others.
        elif chunk_id == MAPPING_LIST:
            count = reader.take("H")
            for _ in range(count):
                u, v = reader.take("ff")
                lines.append("Mapping list u: %f\n" % u)
                lines.append("Mapping list v: %f\n" % v)
        else:
            if length < 6:
                raise ValueError("chunk %x is shorter than its header" % chunk_id)
            reader.pos += length - 6
    return "".join(lines).encode("ascii"), vertices


if __name__ == "__main__":
    with open(sys.argv[1], "rb") as asset:
        sys.stdout.buffer.write(read_account(asset.read())[0])
