// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Where Exit puts the result and the key, and how the program then ends.
//
// On X11 and on Wayland a copied text lives only as long as a client serves it, and the decoder
// ends right after Exit. So the export hands the text to a program that stays behind: the
// project's X11 helper, and on a Wayland session wl-copy (from wl-clipboard) as well; without
// wl-copy, drawing through Wayland, it counts only on a keeper (a compositor that keeps
// clipboards, a clipboard manager) that offers the very text back once the program has let it
// go. On Windows the system keeps what is put on its clipboard as data, and the export puts it
// so, checking each step. Elsewhere (macOS) the toolkit's clipboard keeps it, provided the
// program ends through the normal application exit. Each way is a file of its own (exportways.h).
#pragma once

#include <QString>
#include <QStringView>

#include <memory>
#include <span>

class ClipboardExport
{
public:
    virtual ~ClipboardExport() = default;

    // Clears the system clipboard of all contents and puts on it, as plain text, the text made
    // of these pieces (ExportPieces: an output the size of a book is not copied into one string
    // where the way of exporting needs none). Returns an empty string on success, and otherwise
    // why it failed, in words for the user.
    virtual QString clearAndPut(std::span<const QStringView> text) = 0;

    // Ends the program at once, in the way that keeps the text on the clipboard.
    virtual void endProgram() = 0;
};

// The pieces joined, for a way of exporting that needs the whole text as one string.
inline QString joined(std::span<const QStringView> pieces)
{
    QString text;
    for (const QStringView piece : pieces)
        text += piece;
    return text;
}

// The export that suits the window system the program runs on.
std::unique_ptr<ClipboardExport> makeSystemClipboardExport();
