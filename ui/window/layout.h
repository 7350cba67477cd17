// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The layout table of the main window: where each control stands and what it says at start.
//
// Geometry is given in twips, 15 to a device-independent pixel (96 per inch), relative to the
// top left corner of the client area, and converted once here. The layout is absolute: nothing
// moves or resizes at run time. Members of the two control arrays are numbered 1 to 26, member k
// belonging to the k-th letter.
#pragma once

#include <QRect>
#include <QSize>

namespace Layout {

inline constexpr int TwipsPerPixel = 15;

constexpr int pixels(int twips)
{
    return twips / TwipsPerPixel;
}

constexpr QRect fromTwips(int left, int top, int width, int height)
{
    return QRect(pixels(left), pixels(top), pixels(width), pixels(height));
}

inline constexpr QSize ClientArea(pixels(7425), pixels(4680));

inline constexpr QRect Label1 = fromTwips(120, 120, 5415, 255);
constexpr QRect lblCapA(int index)
{
    return fromTwips(120 + 240 * (index - 1), 360, 255, 255);
}
constexpr QRect txtLetter(int index)
{
    return fromTwips(120 + 240 * (index - 1), 600, 255, 285);
}
inline constexpr QRect Label2 = fromTwips(120, 960, 6255, 255);
inline constexpr QRect txtInput = fromTwips(120, 1200, 6255, 1575);
inline constexpr QRect Label3 = fromTwips(120, 2760, 6255, 255);
inline constexpr QRect txtOutput = fromTwips(120, 3000, 6255, 1575);
inline constexpr QRect cmdClearKeyword = fromTwips(6480, 360, 855, 495);
inline constexpr QRect cmdClearInput = fromTwips(6480, 1200, 855, 1575);
inline constexpr QRect cmdExit = fromTwips(6480, 4200, 855, 375);

inline constexpr char16_t WindowCaption[] = u"Vellumtide decoder";
inline constexpr char16_t Label1Caption[] =
    u"Enter the straight replacement equivelents in the appropriate boxes below:";
inline constexpr char16_t Label2Caption[] = u"Enter text to be decrypted (/ Applied to) here:";
inline constexpr char16_t Label3Caption[] =
    u"View / Copy Applied text here (automatically updated as you type)";
inline constexpr char16_t ClearKeywordCaption[] = u"Clear Keyword";
inline constexpr char16_t ClearInputCaption[] = u"Clear Input text";
inline constexpr char16_t ExitCaption[] = u"Exit";

} // namespace Layout
