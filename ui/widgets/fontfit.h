// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Fitting text to the window's fixed boxes. The layout never grows a control, so a caption or an
// entry that does not fit at the default size is drawn smaller: the same face, never another.
#pragma once

#include <QFont>

// The smallest step by which a font shrinks to fit.
inline constexpr qreal FontStep = 0.25;

// The largest point size, from font's own down to floor in FontStep steps, at which fits(font)
// holds; floor where none does. A font sized in pixels is left as it is.
template <typename Fits> QFont shrunkToFit(QFont font, qreal floor, Fits fits)
{
    while (font.pointSizeF() > 0 && !fits(font) && font.pointSizeF() - FontStep >= floor)
        font.setPointSizeF(font.pointSizeF() - FontStep);
    return font;
}
