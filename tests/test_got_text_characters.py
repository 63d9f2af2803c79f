"""Got texts of bytes and str values hold every byte and every kind of character as the
value's repr writes it, cut at 80 characters wherever the cut falls: inside an escape,
beside a quote, past a character of several UTF-8 bytes; alone and inside containers."""

import pytest

from test_got_text import got, shown

# One of each class of code point repr treats its own way, with the edges between them.
CODE_POINTS = (
    list(range(0x100))  # ASCII controls, quotes, backslash, DEL, Latin-1 printable and not
    + [0x100, 0x300, 0x301, 0x36F, 0x378, 0x7FF, 0x800, 0x85, 0xA0, 0xAD, 0x200B, 0x2028, 0x2029,
       0x3000, 0x4E00, 0xD7FF, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xF8FF, 0xFEFF, 0xFFFD,
       0xFFFE, 0xFFFF, 0x10000, 0x1D173, 0x1F600, 0x1F3FB, 0xE0001, 0xE0100, 0xF0000, 0x10FFFF]
)
WRAPS = {
    "alone": lambda x: x,
    "list": lambda x: [x, 1],
    "tuple": lambda x: (x,),
    "dict": lambda x: {x: x},
    "set": lambda x: {x},
    "nested": lambda x: [{"k": (x, [x])}],
}


def mismatches(values):
    return [(v, got(v), shown(repr(v))) for v in values if got(v) != shown(repr(v))]


@pytest.mark.parametrize("wrap", WRAPS.values(), ids=WRAPS.keys())
def test_every_byte_of_a_bytes_value(wrap):
    # Each byte between others, and beside each quote (which decides the quote used).
    values = [wrap(b"a" + bytes([c]) + b"z") for c in range(256)]
    values += [wrap(b"'" + bytes([c])) for c in range(256)]
    assert mismatches(values) == []


@pytest.mark.parametrize("wrap", WRAPS.values(), ids=WRAPS.keys())
def test_every_class_of_code_point_in_a_str(wrap):
    values = [wrap("a" + chr(c) + "z") for c in CODE_POINTS]
    values += [wrap("'" + chr(c)) for c in CODE_POINTS]
    assert mismatches(values) == []


SPECIAL = [b"\x7f", b"\x00", b"\n", b"\\", b"'", b"\xff"]
SPECIAL_TEXT = ["\x7f", "\x00", "\t", "\\", "'", "\xad", "é", "\u2028", "東", "\U000e0001", "😀",
                "\ud800", "e\u0301"]


@pytest.mark.parametrize("wrap", [WRAPS["alone"], WRAPS["list"], WRAPS["dict"]],
                         ids=["alone", "list", "dict"])
def test_the_cut_at_80_characters_falls_at_every_place_of_an_escape(wrap):
    # The character after k others starts near the cut, so the cut meets each of its
    # characters (an escape is up to ten of them).
    values = [wrap(b"a" * k + s + b"z" * 12) for k in range(60, 82) for s in SPECIAL]
    values += [wrap("a" * k + s + "z" * 12) for k in range(60, 82) for s in SPECIAL_TEXT]
    assert mismatches(values) == []
