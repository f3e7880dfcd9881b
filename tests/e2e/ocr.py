"""Reads the screen as a pupil would, with Debian's Tesseract OCR, which
knows nothing of how the game draws: texts of boxes and pages from a
picture enlarged first, the question's factors one box at a time."""

import io
import re
import subprocess
import unicodedata

from PIL import Image, ImageChops, ImageOps

TESSERACT = "/usr/bin/tesseract"


def tesseract(image, psm=6, only=None, *output):
    """What Tesseract reads in a picture (psm: its page layout mode; only:
    the characters it may read; output: "tsv" for words and their boxes)."""
    data = io.BytesIO()
    image.save(data, "PNG")
    command = [TESSERACT, "stdin", "stdout", "--dpi", "96", "--psm", str(psm), "-l", "eng"]
    if only:
        command += ["-c", "tessedit_char_whitelist=" + only]
    result = subprocess.run(command + list(output), input=data.getvalue(), capture_output=True)
    return result.stdout.decode("utf-8", "replace")


def words(text):
    """A text with its blanks and line breaks taken as one blank each: a
    doubled blank, or where a line wraps, does not show as such."""
    return " ".join(text.split())


def prepared(image, enlarge, light_on_dark=False):
    """Grey, enlarged, turned over when its text is light on dark."""
    image = ImageOps.grayscale(image.convert("RGB"))
    if light_on_dark:
        image = ImageOps.invert(image)
    return image.resize((round(image.width * enlarge), round(image.height * enlarge)),
                        Image.LANCZOS)


def locate(image, word, enlarge=3):
    """Where the picture shows the word (the centre of the first reading of
    it), or None; and the words read, for a report."""
    seen = []
    for line in tesseract(prepared(image, enlarge), 11, None, "tsv").splitlines()[1:]:
        fields = line.split("\t")
        if len(fields) == 12 and fields[11].strip():
            seen.append(fields[11].strip())
            if seen[-1].strip(".,:;!?") == word:
                left, top, width, height = (int(v) / enlarge for v in fields[6:10])
                return (left + width / 2, top + height / 2), seen
    return None, seen


def comparable(text):
    """A text as a reading is compared: without blanks, since how wide a gap
    is (a doubled blank, letters set apart as in "C A M P I O N E") is no
    reading's to tell, and without accents, which the English model reads
    as it can ("è" as "e" or "é"; the record files' bytes check them)."""
    bare = unicodedata.normalize("NFKD", "".join(text.split()))
    return "".join(c for c in bare if not unicodedata.combining(c))


# Tesseract may misread a letter or two at one size and not at another
# ("sfida" as "sfda"), and the same way every time: a text waited for is
# read at each of these enlargements in turn. (Wine's goodbye to Leo reads
# "sfda" at 3, 4 and 2 times alike, "sfida" at 2.5.)
ENLARGEMENTS = (3, 4, 2, 2.5)


def shows(image, text, enlarge=3, light_on_dark=False):
    """Whether the picture of a box or a page shows the text (as
    comparable() has it), and what it shows, for a report."""
    seen = words(tesseract(prepared(image, enlarge, light_on_dark)))
    return comparable(text) in comparable(seen), seen


def colour(picture, low, high):
    """A mask: 255 where a pixel's red, green and blue are each within
    low and high (both included)."""
    r, g, b = (band.point(lambda v, i=i: 255 if low[i] <= v <= high[i] else 0)
               for i, band in enumerate(picture.convert("RGB").split()))
    return ImageChops.multiply(ImageChops.multiply(r, g), b)


# The factor boxes' face, give or take a browser's or a compositor's
# rounding: where the factors stand. Nothing else of the window's top has
# that colour but the answer box, which comes after them; the background
# there is too dark.
def face(picture):
    return colour(picture, (0, 191, 191), (79, 255, 255))


def runs(profile, least):
    """The stretches of a profile (one value a pixel) at least that high."""
    found, start = [], None
    for i, value in enumerate(list(profile) + [0]):
        if value >= least and start is None:
            start = i
        elif value < least and start is not None:
            found.append((start, i))
            start = None
    return found


def factor_boxes(picture, scale=1.0, answer=False):
    """Where the three factors stand: the boxes of the face's colour in
    the topmost band that has any, but the last (the answer box, which
    comes too when asked for)."""
    mask = face(picture)
    rows = runs(mask.resize((1, mask.height), Image.BOX).getdata(), 255 * 12 * scale / mask.width)
    if not rows:
        return []
    top = max(0, rows[0][0] - round(4 * scale))
    band = mask.crop((0, top, mask.width, min(mask.height, top + round(110 * scale))))
    columns = []
    # The answer box's blinking text cursor parts its face for a pixel or two.
    for left, right in runs(band.resize((band.width, 1), Image.BOX).getdata(), 255 * 0.1):
        if columns and left - columns[-1][1] <= 4 * scale:
            left = columns.pop()[0]
        columns.append((left, right))
    boxes = []
    for left, right in columns if answer else columns[:-1]:
        inside = band.crop((left, 0, right, band.height)).getbbox()
        if inside:
            boxes.append((left, top + inside[1], right, top + inside[3]))
    return boxes


def _ink(p):
    # The number's black, its grey edges; not the red of the signs and
    # brackets that stand over a box.
    return 0 if sum(p) < 3 * 128 and p[0] - p[1] < 80 else 255


def minus_sign(ink):
    """Whether the number's ink begins with a minus sign: a bar, wider than
    it is tall and less than a third as tall as the digits, before a gap.
    Rows and columns inked nearly all across are the box's frame."""
    width, height = ink.size
    pixels = ink.load()
    rows = [y for y in range(height)
            if 0 < sum(pixels[x, y] == 0 for x in range(width)) <= 0.8 * width]
    columns = [x for x in range(width)
               if 0 < sum(pixels[x, y] == 0 for y in rows) <= 0.8 * len(rows)]
    if not columns:
        return False
    first = [columns[0]]
    for x in columns[1:]:
        if x != first[-1] + 1:
            break
        first.append(x)
    inked = [y for y in rows for x in first if pixels[x, y] == 0]
    bar = max(inked) - min(inked) + 1
    return len(first) < width and 3 * bar < rows[-1] - rows[0] + 1 and len(first) > bar


# Tesseract loses this bold face's minus sign before a lone digit: read
# whole, at three sizes and by majority, the page's questions were read
# right only 60 % of the time. Its digits alone, read so, were right for
# all 459 factors tried (the page at seven views, the desktop on X11); the
# sign is read by pixels (minus_sign: right for all of them).
HEIGHTS = (56, 68, 80)


def read_factor(box):
    ink = Image.new("L", box.size)
    ink.putdata([_ink(p) for p in box.convert("RGB").getdata()])
    readings = []
    for height in HEIGHTS:
        sized = ink.resize((max(1, round(ink.width * height / ink.height)), height),
                           Image.LANCZOS)
        readings.append(tesseract(ImageOps.expand(sized, 20, 255), 6, "0123456789").strip())
    best = max(set(readings), key=readings.count)
    if 2 * readings.count(best) <= len(readings) or not re.fullmatch(r"\d{1,2}", best):
        return None, readings
    return (-1 if minus_sign(ink) else 1) * int(best), readings


def read_question(picture, scale=1.0):
    """The three factors off a picture that shows the game window drawn at
    scale (with its menu bar, frame or a desktop around it), or None; and
    what was read, for a report."""
    boxes = factor_boxes(picture, scale)
    if len(boxes) != 3:
        return None, "%d boxes of the factors' colour" % len(boxes)
    read = [read_factor(picture.convert("RGB").crop(box)) for box in boxes]
    factors = [value for value, _ in read]
    seen = " | ".join(",".join(r) for _, r in read)
    if None in factors or not all(-10 <= f <= 10 for f in factors):
        return None, seen
    return factors, seen
