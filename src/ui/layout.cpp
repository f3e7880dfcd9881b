#include "layout.h"

#include <QApplication>
#include <QtMath>

namespace segni::ui {

using namespace colour;

namespace {
constexpr FontDesign kSansSerif18{"MS Sans Serif", 18};
constexpr FontDesign kArial48Bold{"Arial", 48, true};
constexpr FontDesign kArial48{"Arial", 48};
constexpr FontDesign kArial72Bold{"Arial", 72, true};
constexpr FontDesign kTimes36Bold{"Times New Roman", 36, true};
constexpr FontDesign kButtonFont{"MS Sans Serif", 8.25, true};
} // namespace

const WindowDesign kWindow{
    "Tavola",
    " Rododarev ozo du revirize ro zuduro derivuro",
    11880, 8310,
    black,
    {64, 0, 0},
    ":/icons/segni.ico",
    ":/icons/hand.cur",
    {5, 0},
    "Calcola il prodotto dei tre fattori e scrivilo nel risultato",
};

// The window's black with the clock's yellow, large and bold.
const ClosingPageDesign kClosingPage{black, yellow, {"MS Sans Serif", 24, true}};

// clang-format off
// Labels front to back. Columns: name, caption, left, top, width, height,
// font, then the settings that differ from a left-aligned, transparent,
// borderless label in black.
const std::array<LabelDesign, 26> kLabels{{
    // Clock and message band
    {.name = "Label11", .caption = "Tempo restante", .rect = {360, 2040, 1575, 375},
     .font = {"MS Sans Serif", 9.75}, .text = yellow},
    {.name = "lblconto", .caption = "00.00.00", .rect = {360, 2520, 1575, 495},
     .font = {"Arial Black", 12, true}, .text = yellow, .border = true,
     .accessibleName = "Tempo restante", .readOnDemand = true},
    // Player and record band
    {.name = "Label14", .caption = "Sfidante", .rect = {120, 6360, 1425, 420},
     .font = {"MS Sans Serif", 13.5}, .text = darkGreen, .border = true, .align = Align::Centre,
     .autoSize = true},
    {.name = "Label13", .caption = "con punti", .rect = {8520, 7440, 1455, 435},
     .font = kSansSerif18, .text = purple, .autoSize = true},
    {.name = "lblpunti", .caption = "0", .rect = {10320, 7320, 270, 555},
     .font = {"MS Sans Serif", 24}, .text = purple, .autoSize = true,
     .accessibleName = "Punti del record"},
    {.name = "Label12", .caption = "Il record  è di ", .rect = {1080, 7440, 2295, 375},
     .font = kSansSerif18, .text = purple},
    {.name = "lblnome1", .caption = "", .rect = {240, 6960, 105, 360},
     .font = {"MS Sans Serif", 13.5, true}, .text = darkGreen, .autoSize = true,
     .accessibleName = "Sfidante"},
    {.name = "lblnome", .caption = "nome", .rect = {3480, 7440, 990, 435},
     .font = {"MS Sans Serif", 18, true}, .text = blue, .autoSize = true,
     .accessibleName = "Detentore del record"},
    // Question band
    {.name = "Label10", .caption = ")", .rect = {7680, -120, 495, 1575},
     .font = kArial72Bold, .text = red},
    {.name = "Label9", .caption = "(", .rect = {6240, -120, 495, 1575},
     .font = kArial72Bold, .text = red},
    {.name = "Label8", .caption = "X", .rect = {5400, 360, 855, 975},
     .font = kArial48, .text = red},
    {.name = "lblnum5", .caption = "", .rect = {6840, 240, 330, 1185},
     .font = kArial48Bold, .text = black, .transparent = false, .background = cyan,
     .border = true, .align = Align::Left, .autoSize = true,
     .accessibleName = "Terzo fattore"},
    {.name = "Label7", .caption = ")", .rect = {4680, -120, 615, 1815},
     .font = kArial72Bold, .text = red},
    {.name = "Label5", .caption = "(", .rect = {3000, -120, 495, 1695},
     .font = kArial72Bold, .text = red},
    // Counters band
    {.name = "Label3", .caption = "Risposte totali", .rect = {7440, 3360, 2340, 495},
     .font = kSansSerif18, .text = blue, .border = true, .autoSize = true},
    {.name = "Label1", .caption = "Risposte errate", .rect = {3840, 3360, 2520, 495},
     .font = kSansSerif18, .text = red, .border = true, .autoSize = true},
    {.name = "lblScore2", .caption = "0", .rect = {8310, 4080, 555, 885},
     .font = kTimes36Bold, .text = blue, .border = true, .align = Align::Centre, .autoSize = true,
     .accessibleName = "Risposte totali"},
    {.name = "lblScore1", .caption = "0", .rect = {4830, 4080, 540, 885},
     .font = kTimes36Bold, .text = red, .border = true, .align = Align::Centre, .autoSize = true,
     .accessibleName = "Risposte errate"},
    // (Image1 stands here, kStopwatchDepth)
    {.name = "lblTime", .caption = "", .rect = {8400, 1800, 90, 300},
     .font = {"MS Sans Serif", 12, true}, .autoSize = true,
     .tooltip = "Clicca sotto di me per attivare il Timer"},
    {.name = "lblNum2", .caption = "", .rect = {3960, 240, 345, 1305},
     .font = kArial48Bold, .text = black, .transparent = false, .background = cyan,
     .border = true, .align = Align::Centre, .autoSize = true,
     .accessibleName = "Secondo fattore"},
    {.name = "Label4", .caption = "=", .rect = {8400, 240, 615, 975},
     .font = kArial48Bold, .text = red, .align = Align::Centre},
    {.name = "Label2", .caption = "X", .rect = {2160, 360, 615, 975},
     .font = kArial48, .text = red, .align = Align::Centre},
    {.name = "lblNum1", .caption = "", .rect = {1080, 240, 345, 1305},
     .font = kArial48Bold, .text = black, .transparent = false, .background = cyan,
     .border = true, .align = Align::Centre, .autoSize = true,
     .accessibleName = "Primo fattore"},
    {.name = "lblScore", .caption = "0", .rect = {1080, 4080, 555, 885},
     .font = kTimes36Bold, .text = cyan, .border = true, .align = Align::Centre, .autoSize = true,
     .tooltip = "Questo è il tuo punteggio. Forza con il  record",
     .accessibleName = "Risposte esatte"},
    {.name = "lblMessage", .caption = "", .rect = {1680, 2040, 9495, 615},
     .font = {"MS Sans Serif", 24, true, true}, .text = red, .align = Align::Centre,
     .pointer = Pointer::Icon,
     .accessibleName = "Esito della risposta"},
    {.name = "Label6", .caption = "Risposte esatte", .rect = {240, 3360, 2565, 495},
     .font = kSansSerif18, .text = green, .border = true, .align = Align::Centre,
     .autoSize = true},
}};

const TextBoxDesign kAnswerBox{
    "txtAnswer", {9240, 120, 2415, 1200}, kArial48Bold, black, cyan, 4,
    "Inserisci il risultato e  premi il tasto  Invio",
    "Risultato",
    "Scrivi il prodotto dei tre fattori e premi Invio",
};

// In tab order.
const std::array<ButtonDesign, 2> kButtons{{
    {"cmdExit", "E&xit", {7680, 5280, 1815, 1095}, kButtonFont, purple, true,
     "Ti prego resta ancora, forse riuscirai a farmi uscire ", Pointer::Ordinary,
     ":/icons/noentry.ico", nullptr, nullptr, "Termina il gioco"},
    {"cmdNext", "&Nuovo calcolo", {2520, 5280, 1815, 1095}, kButtonFont, cyan, false, "Go",
     Pointer::Icon, ":/icons/smile.ico", ":/icons/straight.ico", ":/icons/grin.ico",
     "Passa al calcolo successivo"},
}};

const ImageDesign kStopwatch{
    "Image1", {2040, 2520, 480, 480}, ":/icons/stopwatch.ico",
    "Clicca sotto di me per impostare il Timer",
};

// What a screen reader finds in the window, in reading order: the
// question, the answer box, the verdict, the clock, the counters, the
// buttons, the player and the record. The signs, brackets and fixed
// captions are left out: each value's spoken name already says what it is.
const std::array<const char *, 14> kReadingOrder{
    "lblNum1", "lblNum2", "lblnum5", "txtAnswer", "lblMessage", "lblconto", "lblScore",
    "lblScore1", "lblScore2", "cmdNext", "cmdExit", "lblnome1", "lblnome", "lblpunti",
};

// Left to right. The credits name the program and its contributors, and
// nothing the program does not have: no web site, school, postal address
// or mail address.
const std::array<MenuDesign, 6> kMenu{{
    {"INFOMAZIONI", "segni ", nullptr},
    {"Istituto", "segni, gioco per esercitarsi con la regola dei segni", "INFOMAZIONI"},
    {"Ciao", "dei contributori di segni", nullptr},
    {"copy", "- © 2026 i contributori di segni", "Ciao"},
    {"Next", "NUOVO GIOCO", nullptr},
    {"o", "Per contattare gli autori:nessun recapito", nullptr},
}};
// clang-format on

const char *const kIconPointer = ":/icons/iconpointer.cur";
const QPoint kIconPointerHotSpot{15, 15};

QFont makeFont(const FontDesign &design)
{
    QFont font(QString::fromLatin1(design.face));
    // Points at 96 dots per inch, so the text keeps its designed size
    // beside controls placed in pixels, whatever DPI the screen reports.
    font.setPixelSize(qRound(design.points * 96.0 / 72.0));
    font.setBold(design.bold);
    font.setItalic(design.italic);
    return font;
}

void installFontSubstitutions()
{
    // Liberation on a desktop; the web page carries the same faces cut to
    // its characters under names of their own (Segni Sans and Serif).
    const QStringList sans{QStringLiteral("Liberation Sans"), QStringLiteral("Segni Sans"),
                           QStringLiteral("DejaVu Sans")};
    QFont::insertSubstitutions(QStringLiteral("Arial"), sans);
    QFont::insertSubstitutions(QStringLiteral("Arial Black"), sans);
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sans);
    QFont::insertSubstitutions(
        QStringLiteral("Times New Roman"),
        {QStringLiteral("Liberation Serif"), QStringLiteral("Segni Serif"),
         QStringLiteral("DejaVu Serif")});
}

QFont windowFace()
{
    // The desktop's size and weight stay (a pupil may need larger text);
    // only the face is the window's.
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("MS Sans Serif")});
    font.setStyleName(QString());
    return font;
}

void installFonts()
{
    installFontSubstitutions();
    // Also drops the desktop's fonts for particular kinds of widget (menus,
    // boxes, tooltips), which name faces of their own.
    QApplication::setFont(windowFace());
}

} // namespace segni::ui
