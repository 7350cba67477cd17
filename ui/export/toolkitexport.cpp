// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "exportways.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>

using namespace Qt::StringLiterals;

namespace {

// The toolkit's clipboard, for window systems that keep its contents after the program ends
// (macOS), as long as the program ends through the normal exit.
class ToolkitClipboardExport final : public ClipboardExport
{
public:
    QString clearAndPut(std::span<const QStringView> pieces) override
    {
        const QString text = joined(pieces);
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(text);
        if (clipboard->text() != text)
            return u"the clipboard did not take the text."_s;
        return {};
    }

    void endProgram() override { QCoreApplication::quit(); }
};

} // namespace

std::unique_ptr<ClipboardExport> makeToolkitClipboardExport()
{
    return std::make_unique<ToolkitClipboardExport>();
}
