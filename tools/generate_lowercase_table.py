#!/usr/bin/python3
"""Prints the table of Unicode simple lower-case mappings used by src/platform/unicode_text.cpp.

Each row is (first, last, delta, stride): every code point from first to last, stepping by
stride, maps to itself plus delta. The mappings come from this Python's Unicode database;
a character whose full lower case is several characters keeps its simple one-character mapping.
"""
import unicodedata

SIMPLE_EXCEPTIONS = {0x0130: 0x0069}  # the one unconditional multi-character full mapping


def mappings():
    for code in range(0x110000):
        if code in SIMPLE_EXCEPTIONS:
            yield code, SIMPLE_EXCEPTIONS[code]
            continue
        lower = chr(code).lower()
        if len(lower) == 1 and ord(lower) != code:
            yield code, ord(lower)


def ranges(pairs):
    i = 0
    while i < len(pairs):
        first, lower = pairs[i]
        delta = lower - first
        runs = {}
        for stride in (1, 2):
            j = i
            while (j + 1 < len(pairs) and pairs[j + 1][0] == pairs[j][0] + stride
                   and pairs[j + 1][1] - pairs[j + 1][0] == delta):
                j += 1
            runs[stride] = j
        stride = 1 if runs[1] >= runs[2] else 2
        yield first, pairs[runs[stride]][0], delta, stride
        i = runs[stride] + 1


if __name__ == "__main__":
    print(f"// Unicode {unicodedata.unidata_version}")
    for first, last, delta, stride in ranges(list(mappings())):
        print(f"    {{0x{first:04X}, 0x{last:04X}, {delta}, {stride}}},")
