// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "accessibility.h"

#include "outputannouncer.h"
#include "outputview.h"

#include <QAccessibleWidget>
#include <QFont>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// What assistive technologies see of the view: a read-only multi-line text with a caret and a
// selection, read a line or a word at a time without copying the whole text.
class OutputViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit OutputViewAccessible(OutputView *view)
        : QAccessibleWidget(view, QAccessible::EditableText)
    {
    }

    OutputView *view() const { return static_cast<OutputView *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.editable = false;
        state.multiLine = true;
        state.selectableText = true;
        return state;
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return view()->text();
        return QAccessibleWidget::text(kind);
    }

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (selectionIndex == 0 && view()->hasSelection()) {
            *startOffset = int(view()->selectionStart());
            *endOffset = int(view()->selectionEnd());
        }
    }
    int selectionCount() const override { return view()->hasSelection() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override
    {
        setSelection(0, startOffset, endOffset);
    }
    void removeSelection(int selectionIndex) override
    {
        if (selectionIndex == 0)
            view()->setSelection(view()->position(), view()->position());
    }
    void setSelection(int selectionIndex, int startOffset, int endOffset) override
    {
        if (selectionIndex == 0)
            view()->setSelection(startOffset, endOffset);
    }
    int cursorPosition() const override { return int(view()->position()); }
    void setCursorPosition(int position) override { view()->setSelection(position, position); }

    QString text(int startOffset, int endOffset) const override
    {
        const qsizetype size = view()->text().size();
        const qsizetype start = std::clamp<qsizetype>(startOffset, 0, size);
        const qsizetype end = endOffset < 0 ? size : std::clamp<qsizetype>(endOffset, start, size);
        return view()->text().mid(start, end - start);
    }

    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                         int *endOffset) const override
    {
        const Item at = itemAt(offset, boundary);
        return item(at.start, at.end, startOffset, endOffset);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                             int *endOffset) const override
    {
        const qsizetype start = itemAt(offset, boundary).start;
        if (start <= 0 || boundary == QAccessible::NoBoundary)
            return item(-1, -1, startOffset, endOffset);
        const Item before = itemAt(int(start - 1), boundary);
        return item(before.start, before.end, startOffset, endOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                            int *endOffset) const override
    {
        const qsizetype next = itemAt(offset, boundary).next;
        if (next >= view()->text().size() || boundary == QAccessible::NoBoundary)
            return item(-1, -1, startOffset, endOffset);
        const Item after = itemAt(int(next), boundary);
        return item(after.start, after.end, startOffset, endOffset);
    }
    int characterCount() const override { return int(view()->text().size()); }

    QRect characterRect(int offset) const override
    {
        const QRect local = view()->characterRect(offset);
        return QRect(view()->viewport()->mapToGlobal(local.topLeft()), local.size());
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        const QPoint local = view()->viewport()->mapFromGlobal(point);
        if (!view()->viewport()->rect().contains(local))
            return -1;
        return int(view()->offsetAt(local));
    }
    void scrollToSubstring(int startIndex, int /*endIndex*/) override
    {
        view()->ensureVisible(startIndex);
    }
    // One run over the whole text, with the view's font, as the toolkit's text boxes give it.
    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        const int size = characterCount();
        if (offset < 0 || offset > size) {
            *startOffset = *endOffset = -1;
            return {};
        }
        *startOffset = 0;
        *endOffset = size;
        const QFont font = view()->font();
        return u"font-family:\"%1\";font-size:%2pt;font-weight:%3;font-style:%4;"_s.arg(
            QString(font.family()).replace(u'"', u"\\\""_s), QString::number(int(font.pointSize())),
            font.weight() > QFont::Normal ? u"bold"_s : u"normal"_s,
            font.style() == QFont::StyleNormal ? u"normal"_s : u"italic"_s);
    }

private:
    QString item(qsizetype start, qsizetype end, int *startOffset, int *endOffset) const
    {
        *startOffset = int(start);
        *endOffset = int(end);
        return start < 0 ? QString() : view()->text().mid(start, end - start);
    }

    // An item of the text: where it starts and ends, and where the next one starts, past the
    // line break that ends a line (and the last word or sentence of one).
    struct Item
    {
        qsizetype start = 0;
        qsizetype end = 0;
        qsizetype next = 0;
    };

    // The character, word, sentence or line that holds offset. A line is read without its line
    // break, as the toolkit's text boxes give it (a screen reader that speaks a line break would
    // say the line in two), and so is the last word or sentence of a line; the break on its own
    // is a character, and an offset on it belongs to its line.
    Item itemAt(int offset, QAccessible::TextBoundaryType boundary) const
    {
        const OutputText &content = view()->content();
        const QString &text = content.text();
        if (boundary == QAccessible::NoBoundary || text.isEmpty())
            return {0, text.size(), text.size()};
        const qsizetype at = std::clamp<qsizetype>(offset, 0, text.size() - 1);
        const qsizetype line = content.lineOf(at);
        const qsizetype lineStart = content.lineStart(line);
        const qsizetype lineEnd = content.lineEnd(line);
        const qsizetype nextLine =
            line + 1 < content.lineCount() ? content.lineStart(line + 1) : text.size();
        switch (boundary) {
        case QAccessible::CharBoundary: {
            if (at >= lineEnd)
                return {lineEnd, nextLine, nextLine}; // the line break itself
            const auto [start, end] = content.itemAround(at, QTextBoundaryFinder::Grapheme);
            return {start, end, end};
        }
        case QAccessible::WordBoundary:
        case QAccessible::SentenceBoundary: {
            const auto [start, end] = content.startsAround(
                std::min(at, std::max(lineStart, lineEnd - 1)),
                boundary == QAccessible::WordBoundary ? QTextBoundaryFinder::Word
                                                      : QTextBoundaryFinder::Sentence);
            return end < lineEnd ? Item{start, end, end} : Item{start, lineEnd, nextLine};
        }
        default:
            return {lineStart, lineEnd, nextLine};
        }
    }
};

// The announcer's notice, a plain widget, is a notification.
QAccessibleInterface *decoderAccessible(const QString & /*className*/, QObject *object)
{
    if (auto *view = qobject_cast<OutputView *>(object))
        return new OutputViewAccessible(view);
    if (!object || !object->isWidgetType())
        return nullptr;
    if (object->objectName() == QStringView(OutputAnnouncer::NoticeName))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Notification);
    return nullptr;
}

} // namespace

void installAccessibleInterfaces()
{
    static const bool installed = [] {
        QAccessible::installFactory(&decoderAccessible);
        return true;
    }();
    Q_UNUSED(installed)
}
