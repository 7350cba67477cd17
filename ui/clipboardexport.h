// Where Exit puts the result and the key, and how the program then ends.
//
// On X11 the text lives only as long as a client serves it, so the export there hands it to the
// project's helper process, which keeps serving it after the program has ended. Elsewhere the
// toolkit's clipboard keeps it, provided the program ends through the normal application exit.
#pragma once

#include <QString>

#include <memory>

class ClipboardExport
{
public:
    virtual ~ClipboardExport() = default;

    // Clears the system clipboard of all contents and puts text on it as plain text. Returns an
    // empty string on success, and otherwise why it failed, in words for the user.
    virtual QString clearAndPut(const QString &text) = 0;

    // Ends the program at once, in the way that keeps the text on the clipboard.
    virtual void endProgram() = 0;
};

// The export that suits the window system the program runs on.
std::unique_ptr<ClipboardExport> makeSystemClipboardExport();
