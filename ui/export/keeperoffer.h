// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// What the clipboard offers back once the Wayland export has let its selection go, judged apart
// from the waiting for it (waylandexport.cpp). A keeper (a compositor that keeps clipboards, a
// clipboard manager) counts only when it offers the very text: a reader may keep nothing, or an
// empty text, and the toolkit may still hold an offer of the program's own selection.
#pragma once

#include <QStringView>

QT_BEGIN_NAMESPACE
class QMimeData;
QT_END_NAMESPACE

enum class OfferedBack {
    Nothing,     // no keeper's copy: the program's own selection still, or no text at all
    TheText,     // a keeper holds the very text
    AnotherText, // a keeper holds a text that is not this one, an empty one included
};

// The offer's contents (nullptr where the clipboard offers none), whether the offer is still
// the program's own selection, and the text exported.
OfferedBack offeredBack(const QMimeData *offer, bool ours, QStringView text);
