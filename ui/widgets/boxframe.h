// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// How the window's boxes stand out from the window on any palette.
//
// Styles draw a text box's frame in shades of the window colour and fill the box with Base; on
// a dark or a high-contrast palette those can be the window colour itself, and the 26 key boxes
// merge into one strip. So the boxes draw their frame in a blend of the window colour and its
// text colour that contrasts 3:1 with the window, as a control's edge should, and where Base is
// the window colour, or nearly, their background moves a little towards their text colour.
//
// Every control that takes the focus shows it with a ring two pixels wide in shades of the
// palette's highlight: each ring moved just far enough towards the window text colour, or
// towards the window colour, to stand 3:1 against the pixels it covers, so that a keyboard user
// sees at once where the focus is. Every colour comes from the palette's roles, none is fixed.
#pragma once

#include <QColor>
#include <QList>
#include <QPalette>

#include <functional>

QT_BEGIN_NAMESPACE
class QImage;
class QPainter;
class QWidget;
QT_END_NAMESPACE

// The contrast ratio of two colours, from 1 (the same) to 21 (black and white).
qreal contrastRatio(const QColor &a, const QColor &b);

// The colour of a box's frame on this palette.
QColor boxFrameColor(const QPalette &palette);

// The palette's Base where it stands apart from Window, and otherwise Base moved towards Text.
QColor boxBaseColor(const QPalette &palette);

// Gives the box, inside a window with this palette, the background that boxBaseColor finds; the
// window calls it again when its palette changes.
void setBoxBase(QWidget *box, const QPalette &windowPalette);

// The palette's highlight, moved just far enough to stand 3:1 against every colour of covered.
QColor focusShade(const QPalette &palette, const QList<QColor> &covered);

// Draws the frame on the box's outermost pixel, over whatever the style drew there, and the
// focus ring where the box has the focus. A scroll area's frame is two pixels wide, the inner
// one the box's background. Called from the box's own paint event.
void paintBoxFrame(QWidget *box);

// Draws the focus ring on the control's two outermost pixels, each ring in one shade that stands
// against every colour those pixels have in unfocused, the control as it looks without the focus
// (in device pixels).
void paintFocusRing(QWidget *control, const QImage &unfocused);
// A picture of the widget's size on its window's background, drawn by draw: how the control
// looks without the focus, for paintFocusRing.
QImage unfocusedLook(const QWidget *control, const std::function<void(QPainter &)> &draw);
// The same, where the colours each ring covers are known.
void paintFocusRing(QWidget *control, const QList<QColor> &outerCovered,
                    const QList<QColor> &innerCovered);
