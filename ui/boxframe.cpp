#include "boxframe.h"

#include <QPainter>
#include <QWidget>

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

void paintBoxFrame(QWidget *box)
{
    // Filled, not stroked, so that the frame covers the outermost pixel on a scaled screen too.
    QPainter painter(box);
    const QColor color = boxFrameColor(box->palette());
    const QRect edge = box->rect();
    painter.fillRect(QRect(edge.topLeft(), QSize(edge.width(), 1)), color);
    painter.fillRect(QRect(edge.bottomLeft(), QSize(edge.width(), 1)), color);
    painter.fillRect(QRect(edge.topLeft(), QSize(1, edge.height())), color);
    painter.fillRect(QRect(edge.topRight(), QSize(1, edge.height())), color);
}
