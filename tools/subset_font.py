#!/usr/bin/python3
"""Cuts a TrueType face down to the characters the web page can show and
names it anew, for the page to carry (cmake/web.cmake runs it at build
time with Debian's fonttools).

The SIL Open Font License lets a changed face be shipped only under a name
other than its Reserved Font Names, so the cut face gets the family name
given here in every name record that carries the family; its copyright
notice and the licence's name and address stay.

Usage: subset_font.py INPUT.ttf OUTPUT.ttf FAMILY UNICODES
UNICODES: ranges as pyftsubset takes them, e.g. U+0020-007E,U+00A0-00FF.
"""

import sys

from fontTools import subset
from fontTools.ttLib import TTFont

# Name records kept: copyright, family, style, unique id, full name,
# version, PostScript name, licence and its address.
KEPT_NAMES = [0, 1, 2, 3, 4, 5, 6, 13, 14]


def rename(font, family):
    names = font["name"]
    style = names.getDebugName(2)
    full = family if style == "Regular" else "%s %s" % (family, style)
    postscript = "%s-%s" % (family.replace(" ", ""), style.replace(" ", ""))
    version = names.getDebugName(5) or ""
    new = {1: family, 3: "%s: %s" % (full, version), 4: full, 6: postscript}
    for record in names.names:
        if record.nameID in new:
            record.string = new[record.nameID]
    # Typographic family and style, where a face has them, follow suit.
    names.removeNames(nameID=16)
    names.removeNames(nameID=17)


def main():
    source, target, family, unicodes = sys.argv[1:5]
    options = subset.Options()
    options.name_IDs = KEPT_NAMES
    options.name_languages = ["*"]
    # FontForge's time stamp, which fontTools would warn of.
    options.drop_tables += ["FFTM"]
    # A character the face lacks shows as its empty box, not as nothing.
    options.notdef_outline = True
    font = TTFont(source)
    cutter = subset.Subsetter(options)
    cutter.populate(unicodes=subset.parse_unicodes(unicodes))
    cutter.subset(font)
    rename(font, family)
    font.save(target)
    return 0


if __name__ == "__main__":
    sys.exit(main())
