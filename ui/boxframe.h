// How the window's boxes stand out from the window on any palette.
//
// Styles draw a text box's frame in shades of the window colour and fill the box with Base; on
// a dark or a high-contrast palette those can be the window colour itself, and the 26 key boxes
// merge into one strip. So the boxes draw their frame in a blend of the window colour and its
// text colour that contrasts 3:1 with the window, as a control's edge should, and where Base is
// the window colour, or nearly, their background moves a little towards their text colour.
// Every colour comes from the palette's roles, none is fixed.
#pragma once

#include <QColor>
#include <QPalette>

QT_BEGIN_NAMESPACE
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

// Draws the frame on the box's outermost pixels, over whatever the style drew there. Called from
// the box's own paint event.
void paintBoxFrame(QWidget *box);
