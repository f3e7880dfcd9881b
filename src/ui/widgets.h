// The window's controls as the game needs them: labels with captions that
// read back exactly as written and that can size themselves to their text,
// push buttons showing a picture above their caption, and the drawing
// surface that keeps the background gradient.
#pragma once

#include "layout.h"

#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QList>
#include <QPointer>
#include <QLineEdit>
#include <QPushButton>

namespace segni::ui {

class Label : public QLabel
{
    Q_OBJECT
public:
    Label(const LabelDesign &design, QWidget *parent);

    // The caption exactly as last set (a line end read from a file stays).
    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);

    QSize designSize() const { return m_designSize; }
    // What a screen reader is told: the label's role and, for labels the
    // game writes, what the label shows now ("Primo fattore: -7").
    QString spokenName() const;
    bool hasBorder() const { return m_border; }
    bool readOnDemand() const { return m_readOnDemand; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_caption;
    QString m_spokenRole;
    bool m_fixedCaption;
    bool m_readOnDemand;
    QSize m_designSize;
    QColor m_text;
    QColor m_background;
    bool m_transparent;
    bool m_border;
    bool m_autoSize;
    Qt::Alignment m_alignment;
};

class AnswerBox : public QLineEdit
{
    Q_OBJECT
public:
    AnswerBox(const TextBoxDesign &design, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;
};

class PictureButton : public QPushButton
{
    Q_OBJECT
public:
    PictureButton(const ButtonDesign &design, QWidget *parent);

    // The picture the button shows now: pressed, disabled or normal.
    QIcon currentPicture() const;
    // What a screen reader says of the button when nothing else is due.
    QString designDescription() const { return m_designDescription; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QIcon m_normal;
    QIcon m_pressed;
    QIcon m_disabled;
    QColor m_face;
    QString m_designDescription;
};

// The window's client area. Its drawing is kept in a backing image, so it
// survives repaints; it is drawn behind every control.
class Surface : public QWidget
{
    Q_OBJECT
public:
    explicit Surface(QWidget *parent);

    // Paints 256 horizontal bands of equal height (to within a pixel)
    // covering the whole area at its present size; band i takes colourOf(i).
    template<typename ColourOf>
    void paintBands(ColourOf colourOf)
    {
        QImage image = startBands();
        for (int band = 0; band < 256; ++band)
            fillBand(image, band, colourOf(band));
        finishBands(std::move(image));
    }

    const QImage &backing() const { return m_backing; }

    // The controls a screen reader finds here, in reading order; the rest
    // (signs, brackets, fixed captions, the stopwatch) it never sees.
    void setSpokenControls(const QList<QWidget *> &controls);
    QList<QWidget *> spokenControls() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage startBands() const;
    static void fillBand(QImage &image, int band, QRgb colour);
    void finishBands(QImage image);

    QImage m_backing;
    QList<QPointer<QWidget>> m_spoken;
};

// Paints the sunken two-pixel frame of a bordered control.
void drawSunkenFrame(QPainter &painter, const QRect &rect);

} // namespace segni::ui
