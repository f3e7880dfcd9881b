#include "widgets.h"

#include <QPainter>
#include <QStyle>
#include <qdrawutil.h>
#include <QPaintEvent>

#include <algorithm>

namespace segni::ui {

namespace {

constexpr int kFrameWidth = 2;
constexpr int kPictureSize = 32;
constexpr int kPictureGap = 2;

const QPalette &framePalette()
{
    static const QPalette palette = [] {
        QPalette p;
        p.setColor(QPalette::Light, QColor(255, 255, 255));
        p.setColor(QPalette::Midlight, QColor(227, 227, 227));
        p.setColor(QPalette::Button, QColor(212, 208, 200));
        p.setColor(QPalette::Mid, QColor(160, 160, 160));
        p.setColor(QPalette::Dark, QColor(128, 128, 128));
        p.setColor(QPalette::Shadow, QColor(64, 64, 64));
        return p;
    }();
    return palette;
}

// What a label shows of its caption: line ends from files (CR LF, or a lone
// CR) become line breaks.
QString shownText(const QString &caption)
{
    QString text = caption;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

void drawSunkenFrame(QPainter &painter, const QRect &rect)
{
    qDrawWinPanel(&painter, rect, framePalette(), true, nullptr);
}

Label::Label(const LabelDesign &design, QWidget *parent)
    : QLabel(parent)
    , m_spokenRole(design.accessibleName ? QString::fromUtf8(design.accessibleName) : QString())
    // The fixed labels keep their numbered design names (Label1...); the
    // ones the game writes are named lbl...
    , m_fixedCaption(QByteArray(design.name).startsWith("Label"))
    , m_readOnDemand(design.readOnDemand)
    , m_designSize(design.rect.toPixels().size())
    , m_text(design.text.toColor())
    , m_background(design.background.toColor())
    , m_transparent(design.transparent)
    , m_border(design.border)
    , m_autoSize(design.autoSize)
    , m_alignment(Qt::AlignTop
                  | (design.align == Align::Centre ? Qt::AlignHCenter : Qt::AlignLeft))
{
    setObjectName(QString::fromLatin1(design.name));
    setTextFormat(Qt::PlainText);
    setFont(makeFont(design.font));
    setGeometry(design.rect.toPixels());
    setFocusPolicy(Qt::NoFocus);
    if (design.tooltip)
        setToolTip(QString::fromUtf8(design.tooltip));
    setCaption(QString::fromUtf8(design.caption));
}

QString Label::spokenName() const
{
    if (m_spokenRole.isEmpty())
        return text();
    const QString shown = text().simplified();
    if (m_fixedCaption || m_readOnDemand || shown.isEmpty())
        return m_spokenRole;
    return m_spokenRole + QStringLiteral(": ") + shown;
}

void Label::setCaption(const QString &caption)
{
    m_caption = caption;
    const QString text = shownText(caption);
    setText(text);
    // A changed name is announced to assistive technology; a clock that
    // keeps its name announces nothing.
    if (!m_spokenRole.isEmpty() && accessibleName() != spokenName())
        setAccessibleName(spokenName());
    if (m_autoSize) {
        QSize size = m_designSize;
        if (!text.isEmpty()) {
            size = fontMetrics().size(0, text);
            if (m_border)
                size += QSize(2 * kFrameWidth, 2 * kFrameWidth);
        }
        resize(size);
    }
    update();
}

void Label::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QRect inner = rect();
    if (!m_transparent)
        painter.fillRect(inner, m_background);
    if (m_border) {
        drawSunkenFrame(painter, inner);
        inner.adjust(kFrameWidth, kFrameWidth, -kFrameWidth, -kFrameWidth);
    }
    painter.setClipRect(inner);
    painter.setPen(m_text);
    painter.drawText(inner, static_cast<int>(m_alignment), text());
}

AnswerBox::AnswerBox(const TextBoxDesign &design, QWidget *parent)
    : QLineEdit(parent)
{
    setObjectName(QString::fromLatin1(design.name));
    setFont(makeFont(design.font));
    setGeometry(design.rect.toPixels());
    setMaxLength(design.maxLength);
    setFrame(false);
    setTextMargins(kFrameWidth, kFrameWidth, kFrameWidth, kFrameWidth);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette p = palette();
    p.setColor(QPalette::Base, design.background.toColor());
    p.setColor(QPalette::Text, design.text.toColor());
    setPalette(p);
    setToolTip(QString::fromUtf8(design.tooltip));
    setAccessibleName(QString::fromUtf8(design.accessibleName));
    setAccessibleDescription(QString::fromUtf8(design.accessibleDescription));
    setFocusPolicy(Qt::StrongFocus);
    // Nothing can be dropped in; an on-screen keyboard offers its number pad.
    setAcceptDrops(false);
    setInputMethodHints(Qt::ImhFormattedNumbersOnly | Qt::ImhNoPredictiveText);
}

void AnswerBox::paintEvent(QPaintEvent *event)
{
    QLineEdit::paintEvent(event);
    QPainter painter(this);
    drawSunkenFrame(painter, rect());
}

PictureButton::PictureButton(const ButtonDesign &design, QWidget *parent)
    : QPushButton(parent)
    , m_normal(QString::fromLatin1(design.picture))
    , m_pressed(design.pressedPicture ? QIcon(QString::fromLatin1(design.pressedPicture)) : m_normal)
    , m_disabled(design.disabledPicture ? QIcon(QString::fromLatin1(design.disabledPicture))
                                      : m_normal)
    , m_face(design.face.toColor())
    , m_designDescription(QString::fromUtf8(design.accessibleDescription))
{
    setObjectName(QString::fromLatin1(design.name));
    setText(QString::fromUtf8(design.caption));
    setFont(makeFont(design.font));
    setGeometry(design.rect.toPixels());
    setEnabled(design.enabled);
    setToolTip(QString::fromUtf8(design.tooltip));
    setAccessibleDescription(m_designDescription);
    setFocusPolicy(Qt::StrongFocus);
    // Enter on a focused button presses it, as on the platform this game
    // comes from; outside a dialog Qt needs to be told.
    setAutoDefault(true);
}

QIcon PictureButton::currentPicture() const
{
    if (!isEnabled())
        return m_disabled;
    return isDown() ? m_pressed : m_normal;
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect area = rect();
    painter.fillRect(area, m_face);
    QPalette bevel = framePalette();
    bevel.setColor(QPalette::Button, m_face);
    qDrawWinButton(&painter, area, bevel, isDown(), nullptr);

    const int shift = isDown() ? 1 : 0;
    const QFontMetrics metrics = fontMetrics();
    const int blockHeight = kPictureSize + kPictureGap + metrics.height();
    const int top = (area.height() - blockHeight) / 2 + shift;
    const QRect pictureRect((area.width() - kPictureSize) / 2 + shift, top, kPictureSize,
                            kPictureSize);
    // The pictures are 32 x 32 pixel art: on a high-DPI screen they are
    // enlarged pixel by pixel, never smoothed into a blur.
    painter.drawPixmap(pictureRect, currentPicture().pixmap(QSize(kPictureSize, kPictureSize), 1.0));

    const QRect textRect(shift, top + kPictureSize + kPictureGap, area.width(), metrics.height());
    QPalette textPalette = palette();
    textPalette.setColor(QPalette::Active, QPalette::ButtonText, Qt::black);
    textPalette.setColor(QPalette::Inactive, QPalette::ButtonText, Qt::black);
    style()->drawItemText(&painter, textRect, Qt::AlignHCenter | Qt::TextShowMnemonic,
                          textPalette, isEnabled(), text(), QPalette::ButtonText);

    // The focus shows as a dotted black frame inside the bevel, plain on
    // both faces and however the focus came (Enter moves it here; the
    // style's own frame shows only after Tab, faintly).
    if (hasFocus()) {
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(area.adjusted(4, 4, -5, -5));
    }
}

Surface::Surface(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("surface"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Surface::setSpokenControls(const QList<QWidget *> &controls)
{
    m_spoken.clear();
    for (QWidget *control : controls)
        m_spoken.append(control);
}

QList<QWidget *> Surface::spokenControls() const
{
    QList<QWidget *> controls;
    for (const QPointer<QWidget> &control : m_spoken) {
        if (control)
            controls.append(control);
    }
    return controls;
}

QImage Surface::startBands() const
{
    const qreal ratio = devicePixelRatioF();
    QImage image(size() * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    return image;
}

void Surface::fillBand(QImage &image, int band, QRgb colour)
{
    const int height = image.height();
    const int first = band * height / 256;
    const int last = (band + 1) * height / 256; // exclusive
    const int width = image.width();
    for (int y = first; y < last; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        std::fill(line, line + width, colour);
    }
}

void Surface::finishBands(QImage image)
{
    m_backing = std::move(image);
    update();
}

void Surface::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), kWindow.background.toColor());
    if (!m_backing.isNull())
        painter.drawImage(QPoint(0, 0), m_backing);
}

} // namespace segni::ui
