// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "keybox.h"

#include "boxframe.h"
#include "fontfit.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

// QLineEdit keeps this much room on each side of its text, inside the style's frame; the box
// gives it back to the text, which needs every pixel.
constexpr int LineEditMargin = 2;
constexpr int LineEditVerticalMargin = 1;

// The longest part of an entry a tooltip shows, and the characters on each of its lines.
constexpr qsizetype TooltipLength = 600;
constexpr qsizetype TooltipLine = 40;

// An entry as a tooltip shows it: as plain text (an entry may look like markup), on lines of a
// readable length, cut where it is very long.
QString tooltipOf(const QString &entry)
{
    const QList<uint> characters = entry.toUcs4();
    QString shown;
    for (qsizetype at = 0; at < characters.size() && at < TooltipLength; at += TooltipLine) {
        if (at > 0)
            shown += u"<br>"_s;
        const qsizetype length = std::min(TooltipLine, TooltipLength - at);
        shown += QString::fromUcs4(reinterpret_cast<const char32_t *>(characters.constData() + at),
                                   std::min(length, characters.size() - at))
                     .toHtmlEscaped();
    }
    if (characters.size() > TooltipLength)
        shown += u"…<br>(%1 characters)"_s.arg(characters.size());
    return u"<p style=\"white-space:pre-wrap\">"_s + shown + u"</p>"_s;
}

} // namespace

KeyBox::KeyBox(QWidget *parent)
    : QLineEdit(parent)
{
    setAlignment(Qt::AlignCenter);
    setMaxLength(std::numeric_limits<int>::max());
    setTextMargins(-LineEditMargin, 0, -LineEditMargin, 0);
    connect(this, &QLineEdit::textChanged, this, &KeyBox::entryChanged);
}

KeyBox::~KeyBox() = default;

QRect KeyBox::contents() const
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
}

// Where QLineEdit draws the text: inside the style's frame and the margins around the text, the
// side margins given back.
QRect KeyBox::textArea() const
{
    return contents().adjusted(0, LineEditVerticalMargin, 0, -LineEditVerticalMargin);
}

// QLineEdit centres the entry's bounding box, which is the font's line on most fonts. Windows
// gives some fonts bounds far taller than their lines (a mathematical face, which Wine takes for
// the dialog font where Tahoma is missing), and the line would sit above the box, the entry
// unseen; the box then centres the line itself, a top-aligned line falling a pixel below the
// text area's top.
void KeyBox::centreLine()
{
    const QFontMetrics metrics(font());
    if (metrics.boundingRect(text()).height() <= metrics.height()) {
        setAlignment(Qt::AlignCenter);
        setTextMargins(-LineEditMargin, 0, -LineEditMargin, 0);
        return;
    }
    const int top = (contents().height() - metrics.height() + 1) / 2 - LineEditVerticalMargin;
    setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setTextMargins(-LineEditMargin, top, -LineEditMargin, 0);
}

void KeyBox::fitText()
{
    const QFont inherited = parentWidget() ? parentWidget()->font() : font();
    const QRect area = textArea();
    const QString entry = text();
    auto fitsHeight = [&](const QFont &font) {
        return QFontMetricsF(font).height() <= area.height();
    };
    // A pixel to spare: on a scaled screen the box lays its text out a little wider than the
    // font's metrics say, and a text wider than the box scrolls instead of being centred.
    auto fitsWhole = [&](const QFont &font) {
        return fitsHeight(font) && QFontMetricsF(font).horizontalAdvance(entry) <= area.width() - 1;
    };
    // An entry too long for the box stays at the floor size, as it was while it grew, and
    // scrolls in the box.
    const QFont fitted = shrunkToFit(inherited, FloorPointSize, fitsWhole);
    m_showsWhole = fitsWhole(fitted);
    setFont(fitted);
    centreLine();
}

void KeyBox::entryChanged()
{
    fitText();
    const QString entry = text();
    const bool needsTooltip = !m_showsWhole || entry.toUcs4().size() > ShortEntry;
    setToolTip(needsTooltip ? tooltipOf(entry) : QString());
    // Setting a description tells assistive technologies, even the same one: only a change does.
    const QString description = needsTooltip ? entry : QString();
    if (description != accessibleDescription())
        setAccessibleDescription(description);
    if (!hasFocus() && !m_showsWhole)
        setCursorPosition(0);
}

// The boxes overlap their neighbours by a pixel: the one with the focus lies on top, its focus
// ring whole.
void KeyBox::focusInEvent(QFocusEvent *event)
{
    raise();
    QLineEdit::focusInEvent(event);
}

// Leaving the box shows an entry too long for it from its first character again; a menu or
// another window taking the focus for a moment leaves the cursor where it was.
void KeyBox::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    if (!m_showsWhole && event->reason() != Qt::ActiveWindowFocusReason &&
        event->reason() != Qt::PopupFocusReason)
        setCursorPosition(0);
}

// The focus ring stands against the style's panel as it looks without the focus.
void KeyBox::paintEvent(QPaintEvent *event)
{
    QLineEdit::paintEvent(event);
    if (!hasFocus()) {
        paintBoxFrame(this);
        return;
    }
    QStyleOptionFrame option;
    initStyleOption(&option);
    option.state &= ~QStyle::State_HasFocus;
    const QColor frame = boxFrameColor(palette());
    paintFocusRing(this, unfocusedLook(this, [&](QPainter &painter) {
                       style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
                       painter.setPen(frame);
                       painter.drawRect(rect().adjusted(0, 0, -1, -1));
                   }));
}
