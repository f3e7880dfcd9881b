// The game window as designed: every control with its place, size, font,
// colours and role, written as data. Positions and sizes are in twips
// (1/15 of a logical pixel), measured from the top-left corner of the
// client area below the menu bar.
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>

#include <array>

namespace segni::ui {

constexpr int kTwipsPerPixel = 15;
constexpr int twipsToPixels(int twips)
{
    return twips / kTwipsPerPixel;
}

struct Rgb
{
    int red, green, blue;
    QColor toColor() const { return QColor(red, green, blue); }
};

namespace colour {
constexpr Rgb black{0, 0, 0};
constexpr Rgb red{255, 0, 0};
constexpr Rgb green{0, 192, 0};
constexpr Rgb darkGreen{0, 128, 0};
constexpr Rgb blue{0, 0, 255};
constexpr Rgb cyan{0, 255, 255};
constexpr Rgb yellow{255, 255, 0};
constexpr Rgb purple{192, 0, 192};
} // namespace colour

struct FontDesign
{
    const char *face;
    double points;
    bool bold = false;
    bool italic = false;
};

// The font of a control: the face as designed (mapped onto installed fonts
// by installFontSubstitutions), sized in logical pixels at 96 dots per inch.
QFont makeFont(const FontDesign &design);
// Maps the designed faces onto fonts a Debian desktop has, or the web page
// carries.
void installFontSubstitutions();
// The window's own face, "MS Sans Serif", at the desktop's size and weight:
// the face of every text the design does not set itself.
QFont windowFace();
// The designed faces for the whole program: installs the substitutions and
// makes the window's own face, "MS Sans Serif" (at the desktop's size), the
// face of every text the design does not set itself: the menu bar, its
// menus, tooltips and the boxes. Left to the system, those would take
// whatever fontconfig calls sans-serif, which on a system with only the
// Liberation fonts is Liberation Mono.
void installFonts();

struct Twips
{
    int left, top, width, height;
    QRect toPixels() const
    {
        return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                     twipsToPixels(height));
    }
};

enum class Align { Left, Centre };
// The mouse pointer over a control: the window's hand, the platform's icon
// pointer, or the toolkit's ordinary one for that kind of control.
enum class Pointer { Window, Icon, Ordinary };

struct LabelDesign
{
    const char *name;
    const char *caption; // UTF-8
    Twips rect;
    FontDesign font;
    Rgb text = colour::black;
    bool transparent = true;
    Rgb background = colour::black; // when not transparent
    bool border = false;
    Align align = Align::Left;
    bool autoSize = false;
    const char *tooltip = nullptr;
    Pointer pointer = Pointer::Window;
    // What a screen reader says of the label: this name, then the caption.
    const char *accessibleName = nullptr;
    // The caption changes every second: a screen reader reads it when asked
    // (as the label's text) instead of being told of every change.
    bool readOnDemand = false;
};

struct TextBoxDesign
{
    const char *name;
    Twips rect;
    FontDesign font;
    Rgb text;
    Rgb background;
    int maxLength;
    const char *tooltip;
    const char *accessibleName;
    const char *accessibleDescription;
};

struct ButtonDesign
{
    const char *name;
    const char *caption;
    Twips rect;
    FontDesign font;
    Rgb face;
    bool enabled;
    const char *tooltip;
    Pointer pointer;
    const char *picture;         // resource of the normal picture
    const char *pressedPicture;  // nullptr: the normal one
    const char *disabledPicture; // nullptr: the normal one
    const char *accessibleDescription;
};

struct ImageDesign
{
    const char *name;
    Twips rect;
    const char *picture;
    const char *tooltip;
};

struct MenuDesign
{
    const char *name;
    const char *caption;
    const char *parent; // nullptr: on the menu bar itself
};

struct WindowDesign
{
    const char *name;
    const char *title;
    int clientWidth, clientHeight; // twips
    Rgb background;
    Rgb foreground;
    const char *icon;
    const char *cursor;
    QPoint cursorHotSpot;
    const char *accessibleDescription;
};

// What the web page shows where the desktop program would end (a page
// cannot close itself): its text in this face and colour on this
// background, centred, above a button that starts a new game.
struct ClosingPageDesign
{
    Rgb background;
    Rgb text;
    FontDesign font;
};

extern const WindowDesign kWindow;
extern const ClosingPageDesign kClosingPage;
extern const std::array<LabelDesign, 26> kLabels; // front to back
extern const TextBoxDesign kAnswerBox;
extern const std::array<ButtonDesign, 2> kButtons; // in tab order
extern const ImageDesign kStopwatch;
extern const std::array<MenuDesign, 6> kMenu;
// The controls a screen reader is shown, by name, in reading order.
extern const std::array<const char *, 14> kReadingOrder;
// Where Image1 stands among the labels, front to back (it is drawn behind
// the label at this index).
constexpr int kStopwatchDepth = 18;
constexpr int kTimerIntervalMs = 1000;

// The platform's icon pointer: a small square within a square.
extern const char *const kIconPointer;
extern const QPoint kIconPointerHotSpot;

} // namespace segni::ui
