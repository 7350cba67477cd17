// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "boxframe.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

// A control's edge against what surrounds it.
constexpr qreal EdgeContrast = 3.0;
// Below this, Base and Window look alike.
constexpr qreal DistinctBackground = 1.1;
// How far a background that looks like the window moves towards the text colour.
constexpr qreal BaseShift = 0.12;

qreal channel(qreal value)
{
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

qreal luminance(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) +
           0.0722 * channel(rgb.blueF());
}

// In whole 8-bit steps, as the colour is painted, so that a contrast found holds on screen.
QColor blend(const QColor &from, const QColor &to, qreal amount)
{
    const QColor a = from.toRgb();
    const QColor b = to.toRgb();
    const auto mix = [amount](int x, int y) { return int(std::lround(x + (y - x) * amount)); };
    return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

} // namespace

qreal contrastRatio(const QColor &a, const QColor &b)
{
    const qreal la = luminance(a);
    const qreal lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The least blend towards the text colour that is a clear edge: on the toolkit's light palette a
// mid grey, and the text colour itself on a palette whose text barely contrasts.
QColor boxFrameColor(const QPalette &palette)
{
    const QColor window = palette.color(QPalette::Window);
    const QColor text = palette.color(QPalette::WindowText);
    for (qreal amount = 0.3; amount < 1; amount += 0.05) {
        const QColor edge = blend(window, text, amount);
        if (contrastRatio(edge, window) >= EdgeContrast)
            return edge;
    }
    return text;
}

QColor boxBaseColor(const QPalette &palette)
{
    const QColor base = palette.color(QPalette::Base);
    if (contrastRatio(base, palette.color(QPalette::Window)) >= DistinctBackground)
        return base;
    return blend(base, palette.color(QPalette::Text), BaseShift);
}

void setBoxBase(QWidget *box, const QPalette &windowPalette)
{
    QPalette palette; // only Base is the box's own; every other role follows the window
    const QColor base = boxBaseColor(windowPalette);
    if (base != windowPalette.color(QPalette::Base))
        palette.setColor(QPalette::Base, base);
    box->setPalette(palette);
}

QColor focusShade(const QPalette &palette, const QList<QColor> &covered)
{
    const QColor highlight = palette.color(QPalette::Highlight);
    const auto standsOut = [&](const QColor &shade) {
        return std::all_of(covered.begin(), covered.end(), [&](const QColor &under) {
            return contrastRatio(shade, under) >= EdgeContrast;
        });
    };
    for (qreal amount = 0; amount <= 1; amount += 0.05) {
        for (const QPalette::ColorRole towards : {QPalette::WindowText, QPalette::Window}) {
            const QColor shade = blend(highlight, palette.color(towards), amount);
            if (standsOut(shade))
                return shade;
        }
    }
    return palette.color(QPalette::WindowText);
}

namespace {

QRect ringAt(const QRect &edge, int inset)
{
    return edge.adjusted(inset, inset, -inset, -inset);
}

// Fills the ring of a widget's pixels inset from its edge.
void fillRing(QPainter &painter, const QRect &edge, int inset, const QColor &color)
{
    const QRect ring = ringAt(edge, inset);
    painter.fillRect(QRect(ring.topLeft(), QSize(ring.width(), 1)), color);
    painter.fillRect(QRect(ring.bottomLeft(), QSize(ring.width(), 1)), color);
    painter.fillRect(QRect(ring.topLeft(), QSize(1, ring.height())), color);
    painter.fillRect(QRect(ring.topRight(), QSize(1, ring.height())), color);
}

// The colours of a picture's pixels on a ring given in widget pixels.
QList<QColor> coloursOn(const QImage &picture, const QRect &ring)
{
    const qreal ratio = picture.devicePixelRatio();
    const QRect edge((QPointF(ring.topLeft()) * ratio).toPoint(),
                     (QSizeF(ring.size()) * ratio).toSize());
    QList<QColor> colours;
    const auto take = [&](int x, int y) {
        const QColor colour = picture.pixelColor(x, y);
        if (!colours.contains(colour))
            colours << colour;
    };
    for (int inset = 0; inset < std::max(1, int(ratio)); ++inset) {
        const QRect pixels = ringAt(edge, inset);
        for (int x = pixels.left(); x <= pixels.right(); ++x) {
            take(x, pixels.top());
            take(x, pixels.bottom());
        }
        for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
            take(pixels.left(), y);
            take(pixels.right(), y);
        }
    }
    return colours;
}

} // namespace

void paintFocusRing(QWidget *control, const QList<QColor> &outerCovered,
                    const QList<QColor> &innerCovered)
{
    // Filled, not stroked, so that the ring covers whole pixels on a scaled screen too.
    QPainter painter(control);
    const QPalette &palette = control->palette();
    fillRing(painter, control->rect(), 0, focusShade(palette, outerCovered));
    fillRing(painter, control->rect(), 1, focusShade(palette, innerCovered));
}

QImage unfocusedLook(const QWidget *control, const std::function<void(QPainter &)> &draw)
{
    const qreal ratio = control->devicePixelRatioF();
    QImage picture((QSizeF(control->size()) * ratio).toSize(), QImage::Format_RGB32);
    picture.setDevicePixelRatio(ratio);
    picture.fill(control->palette().color(QPalette::Window));
    QPainter painter(&picture);
    draw(painter);
    return picture;
}

void paintFocusRing(QWidget *control, const QImage &unfocused)
{
    paintFocusRing(control, coloursOn(unfocused, control->rect()),
                   coloursOn(unfocused, ringAt(control->rect(), 1)));
}

void paintBoxFrame(QWidget *box)
{
    const QColor frame = boxFrameColor(box->palette());
    const QColor base = box->palette().color(QPalette::Base);
    if (box->hasFocus()) {
        paintFocusRing(box, {frame}, {base});
        return;
    }
    QPainter painter(box);
    fillRing(painter, box->rect(), 0, frame);
    if (qobject_cast<QAbstractScrollArea *>(box))
        fillRing(painter, box->rect(), 1, base);
}
