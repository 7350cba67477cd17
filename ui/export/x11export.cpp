// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "exportways.h"
#include "servinghelper.h"

#include <cstdlib>

namespace {

// On X11 the text must outlive the program: the helper takes the clipboard and serves it.
class X11ClipboardExport final : public ClipboardExport
{
public:
    QString clearAndPut(std::span<const QStringView> text) override
    {
        return putWithX11Helper(text, exitDeadline(text));
    }

    // Nothing is left to hand over: the helper owns the clipboard now. Ending through the
    // toolkit's exit would have it offer its own clipboard to a clipboard manager, and wait.
    void endProgram() override { std::_Exit(0); }
};

} // namespace

std::unique_ptr<ClipboardExport> makeX11ClipboardExport()
{
    return std::make_unique<X11ClipboardExport>();
}
