"""The die's path lines worked out here from the throw's figures, in the same double
arithmetic and order as the program, so a whole account can be checked byte for byte
without taking the program's word for it.
"""

from dump_3ds import read_account

FLOOR = -240.0


def falling_height(p):
    t = -(p / 320) * 240
    return -(240 - t)


def rising_height(p):
    t = -(p / 320) * 240
    return -(240 + t)


def path_lines():
    """Every path line of the throw, in order, each with its leading newline."""
    x, drift = -320.0, 88.0
    # (height now, ceiling, advance, drift change, from the drift or from x)
    segments = [
        [0.0, None, 4.0, 0.0],
        [-240.0, -175.0, 3.0, 0.0],
        [-175.0, -174.0, 2.0, -1.0],
        [-207.0, -207.0, 1.0, 1.0],
        [-207.0, -207.0, 0.5, -1.0],
    ]
    lines = []
    for number, segment in enumerate(segments):
        height, ceiling, advance, drift_change = segment
        while height >= FLOOR if ceiling is None else FLOOR <= height <= ceiling:
            if number == 0:
                height = falling_height(x)
            elif number == 1:
                height = rising_height(x)
            else:
                drift += drift_change
                height = rising_height(drift)
            x += advance
            lines.append("\n%s%f\t%f" % ("" if number == 0 else " ", x, height))
    return lines


def whole_account(model):
    """What the program prints for a model's bytes until the die rests: the reader's
    dump, then every path line."""
    return read_account(model)[0] + "".join(path_lines()).encode()
