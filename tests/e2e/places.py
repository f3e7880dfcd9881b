"""Where a tap must land on a picture of the game, which no reading
tells: pixel checks by colour and by the rows and columns that stand out
from a picture's background. Positions are in the picture's own pixels."""

from collections import Counter

from PIL import Image

import ocr

# The exit button's face as the window is designed, give or take a
# browser's rounding.
EXIT_FACE = (192, 0, 192)
# The closing page as designed: yellow text on black.
CLOSING_PAGE, CLOSING_TEXT = (0, 0, 0), (255, 255, 0)


def apart(p, q):
    return abs(p[0] - q[0]) + abs(p[1] - q[1]) + abs(p[2] - q[2])


def stands_out(p, q):
    """A pixel a pupil tells apart from a colour next to it."""
    return apart(p, q) >= 192


def centre(box):
    return (box[0] + box[2]) / 2, (box[1] + box[3]) / 2


def commonest(picture, box=None, apart_from=None):
    """The colour most pixels of the part have, of those that stand out
    from the colour given (any pixel, without one)."""
    part = picture.crop(box) if box else picture
    counts = Counter(p for p in part.getdata() if apart_from is None or stands_out(p, apart_from))
    return counts.most_common(1)[0][0] if counts else None


def lines(picture, background):
    """The bands of rows that show something on the background: (box,
    the colour most of it has, the colour of the marks standing out from
    that or None)."""
    width, height = picture.size
    pixels = picture.load()
    found, top, left, right = [], None, width, -1
    for y in range(height + 1):
        marked = [x for x in range(width) if y < height and stands_out(pixels[x, y], background)]
        if marked:
            top = y if top is None else top
            left, right = min(left, marked[0]), max(right, marked[-1])
        elif top is not None:
            box = (left, top, right + 1, y)
            fill = commonest(picture, box)
            found.append((box, fill, commonest(picture, box, fill)))
            top, left, right = None, width, -1
    return found


def box_controls(picture):
    """The controls of a box below its text: [("field", x, y)] when
    something lies between the first line and the row of buttons, then
    ("button", x, y) for each button left to right: in the last row with
    marks of its own (captions), each where marks stand out, apart from
    the next by more than a sixth of the row's height and at least half as
    wide as the row is high."""
    picture = picture.convert("RGB")
    background = commonest(picture)
    rows = lines(picture, background)
    with_marks = [i for i in range(1, len(rows)) if rows[i][2] is not None]
    if not with_marks:
        return []
    last = with_marks[-1]
    (left, top, right, bottom), _, _ = rows[last]
    controls = []
    if last > 1:
        controls.append(("field", picture.width // 2, (rows[0][0][3] + top) // 2))
    pixels = picture.load()
    apart, start, gap = max(3, (bottom - top) // 6), None, 0
    for x in range(picture.width + 1):
        marked = x < picture.width and any(stands_out(pixels[x, y], background)
                                           for y in range(top, bottom))
        if marked:
            start = x if start is None else start
            gap = 0
        elif start is not None:
            gap += 1
            if gap > apart or x == picture.width:
                # A stray mark of a frame is not a button.
                if x - gap - start >= (bottom - top) // 2:
                    controls.append(("button", (start + x - gap) // 2, (top + bottom) // 2))
                start = None
    return controls


def closing_button(picture):
    """The closing page as designed (its colours, one line of text centred
    above a button with a caption of its own): where the button is; or
    None and what the page shows instead."""
    picture = picture.convert("RGB")
    background = commonest(picture)
    rows = lines(picture, background)
    shown = "a page of %s showing %s" % (background, [(box, fill, ink) for box, fill, ink in rows])
    if apart(background, CLOSING_PAGE) > 24 or len(rows) != 2 or rows[0][2] is None \
            or apart(rows[0][2], CLOSING_TEXT) > 24:
        return None, shown
    (left, _, right, _), _, _ = rows[0]
    if abs(left + right - picture.width) > 4:
        return None, "the text is not centred: " + shown
    box, fill, ink = rows[1]
    if fill == background or ink is None:
        return None, "no button with a caption below the text: " + shown
    return centre(box), shown


def answer_box(picture, scale=1.0):
    """The answer box: the last box of the face colour in the question's band."""
    return next((centre(box) for box in ocr.factor_boxes(picture, scale, True)[-1:]), None)


def exit_button(picture, scale=1.0):
    """The exit button: the rows with a run of its face colour as wide as
    most of the button (the record's line is of a like colour, in letters),
    and the columns a quarter of it or more in those rows (the picture and caption
    cover the rest)."""
    mask = ocr.colour(picture, [v - 16 for v in EXIT_FACE], [v + 16 for v in EXIT_FACE])
    rows = ocr.runs(mask.resize((1, mask.height), Image.BOX).getdata(),
                    255 * 60 * scale / mask.width)
    if not rows:
        return None
    top, bottom = max(rows, key=lambda run: run[1] - run[0])
    band = mask.crop((0, top, mask.width, bottom))
    columns = ocr.runs(band.resize((band.width, 1), Image.BOX).getdata(), 255 * 0.25)
    if not columns:
        return None
    left, right = max(columns, key=lambda run: run[1] - run[0])
    return centre((left, top, right, bottom))
