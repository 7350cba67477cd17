// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "frmreplacecipher.h"

#include "accessibility.h"
#include "boxframe.h"
#include "changedspan.h"
#include "fontfit.h"
#include "keybox.h"
#include "layout.h"
#include "outputannouncer.h"
#include "outputview.h"
#include "scrolllink.h"
#include "substitution.h"
#include "textbox.h"
#include "wrappingpushbutton.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontMetricsF>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QWindow>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QLabel *makeLabel(const QString &caption, const QString &name, const QRect &geometry,
                  QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(geometry);
    return label;
}

// Gives a row of controls the largest font, from font down, at which fits(control, font) holds
// for every one of them: a row in one size reads as one row.
template <typename Control, typename Fits>
void fitRow(const QFont &font, const std::vector<Control *> &row, Fits fits)
{
    const QFont fitted = shrunkToFit(font, FontStep, [&](const QFont &candidate) {
        return std::all_of(row.begin(), row.end(),
                           [&](Control *control) { return fits(control, candidate); });
    });
    for (Control *control : row)
        control->setFont(fitted);
}

// Whether a caption fits on its one line, room kept on either side.
bool captionFits(const QLabel *label, const QFont &font, int room)
{
    const QFontMetricsF metrics(font);
    const QRect box = label->contentsRect();
    return metrics.horizontalAdvance(label->text()) <= box.width() - 2 * room &&
           metrics.height() <= box.height();
}

WrappingPushButton *makeButton(const QString &caption, const QString &name, const QRect &geometry,
                               QWidget *parent)
{
    auto *button = new WrappingPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setGeometry(geometry);
    return button;
}

TextBox *makeTextBox(const QString &name, const QString &accessibleName, const QRect &geometry,
                     QWidget *parent)
{
    auto *box = new TextBox(parent);
    box->setObjectName(name);
    box->setAccessibleName(accessibleName);
    box->setGeometry(geometry);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setTabChangesFocus(true);
    return box;
}

// While a handler empties or restores many key boxes at once, their own accessibility events,
// three a box, would crowd a screen reader's queue and push out the one announcement that says
// what the handler did. Assistive technologies read each box afresh when they come to it.
class QuietAccessibility
{
public:
    QuietAccessibility()
        : m_previous(QAccessible::installUpdateHandler(&drop))
    {
    }
    ~QuietAccessibility() { QAccessible::installUpdateHandler(m_previous); }
    Q_DISABLE_COPY_MOVE(QuietAccessibility)

private:
    static void drop(QAccessibleEvent * /*event*/) {}
    QAccessible::UpdateHandler m_previous = nullptr;
};

// What the window says where the output is cut: in the output box, to a screen reader, and in
// Exit's report.
enum class CutWords { Notice, Announcement, ExitReport };

QString cutWords(CutWords where, const QLocale &locale, qsizetype shown, qsizetype whole)
{
    const QString first = locale.toString(shown);
    const QString all = locale.toString(whole);
    switch (where) {
    case CutWords::Notice:
        return u"Output cut: the first %1 of %2 characters"_s.arg(first, all);
    case CutWords::Announcement:
        return u"Applied text cut: it shows, and Exit exports, only the first %1 of %2 "
               u"characters; the whole would not fit in this computer's memory."_s.arg(first, all);
    case CutWords::ExitReport:
        break;
    }
    return u"Only the first %1 of %2 characters of the result are on the clipboard, with the "
           u"key: the whole result would not fit in this computer's memory."_s.arg(first, all);
}

// A top-level QWidget is exposed as a plain area ("filler"), where the decoder's window is an
// application window ("frame").
QAccessibleInterface *windowAccessible(const QString & /*className*/, QObject *object)
{
    if (auto *window = qobject_cast<frmReplaceCipher *>(object))
        return new QAccessibleWidget(window, QAccessible::Window);
    return nullptr;
}

void nameScrollBars(QAbstractScrollArea *box, const QString &boxName)
{
    box->verticalScrollBar()->setAccessibleName(boxName + u" vertical scroll bar"_s);
    box->horizontalScrollBar()->setAccessibleName(boxName + u" horizontal scroll bar"_s);
}

} // namespace

frmReplaceCipher::frmReplaceCipher(QWidget *parent)
    : QWidget(parent)
    , m_clipboardExport(makeSystemClipboardExport())
    , m_outputLimitOf(outputLimitByMemory)
{
    // Before anything that tells assistive technologies of the window (setWindowTitle does,
    // under Qt 6.8), as the toolkit keeps the first interface it makes for a widget.
    static const bool installed = [] {
        installAccessibleInterfaces();
        QAccessible::installFactory(&windowAccessible);
        return true;
    }();
    Q_UNUSED(installed)
    setWindowTitle(QString::fromUtf16(Layout::WindowCaption));
    QIcon icon;
    icon.addFile(u":/icons/vellumtide-16.png"_s);
    icon.addFile(u":/icons/vellumtide-32.png"_s);
    setWindowIcon(icon);
    // The layout is absolute: a fixed size is the honest answer to a resize.
    setFixedSize(Layout::ClientArea);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    create();
    connect(windowHandle(), &QWindow::windowStateChanged, this,
            &frmReplaceCipher::windowStateRequested);
    createControls();
    fitText();
    setBoxBackgrounds();
    describeForAssistiveTechnologies();
    connectHandlers();
    m_outputLimit = m_outputLimitOf(0);
    Form_Load();
    txtLetter(1)->setFocus();
}

frmReplaceCipher::~frmReplaceCipher() = default;

void frmReplaceCipher::setClipboardExport(std::unique_ptr<ClipboardExport> clipboardExport)
{
    m_clipboardExport = std::move(clipboardExport);
}

void frmReplaceCipher::setOutputLimit(OutputLimit outputLimit)
{
    m_outputLimitOf = std::move(outputLimit);
    m_outputLimit = m_outputLimitOf(txtInput->text().size());
    txtInput_Change();
}

// Controls are created in the focus order, so that Tab follows it without further ado.
void frmReplaceCipher::createControls()
{
    Label1 =
        makeLabel(QString::fromUtf16(Layout::Label1Caption), u"Label1"_s, Layout::Label1, this);
    for (int index = 1; index <= LetterCount; ++index) {
        const QString letter(QChar(u'A' + index - 1));
        QLabel *caption =
            makeLabel(letter, u"lblCapA(%1)"_s.arg(index), Layout::lblCapA(index), this);
        caption->setAlignment(Qt::AlignCenter);
        lblCapA.set(index, caption);

        auto *box = new KeyBox(this);
        box->setObjectName(u"txtLetter(%1)"_s.arg(index));
        box->setAccessibleName(u"Key for "_s + letter);
        box->setGeometry(Layout::txtLetter(index));
        box->setText(letter);
        box->installEventFilter(this);
        caption->setBuddy(box);
        txtLetter.set(index, box);
    }
    Label2 =
        makeLabel(QString::fromUtf16(Layout::Label2Caption), u"Label2"_s, Layout::Label2, this);
    txtInput = makeTextBox(u"txtInput"_s, QString::fromUtf16(Layout::Label2Caption),
                           Layout::txtInput, this);
    Label3 =
        makeLabel(QString::fromUtf16(Layout::Label3Caption), u"Label3"_s, Layout::Label3, this);
    txtOutput = new OutputView(this);
    txtOutput->setObjectName(u"txtOutput"_s);
    txtOutput->setAccessibleName(QString::fromUtf16(Layout::Label3Caption));
    txtOutput->setGeometry(Layout::txtOutput);

    cmdClearKeyword = makeButton(QString::fromUtf16(Layout::ClearKeywordCaption),
                                 u"cmdClearKeyword"_s, Layout::cmdClearKeyword, this);
    cmdClearInput = makeButton(QString::fromUtf16(Layout::ClearInputCaption), u"cmdClearInput"_s,
                               Layout::cmdClearInput, this);
    cmdExit =
        makeButton(QString::fromUtf16(Layout::ExitCaption), u"cmdExit"_s, Layout::cmdExit, this);

    m_scrollLink = new ScrollLink(txtInput, txtOutput, this);
}

// Every caption, entry and button text in the default font where it fits, and otherwise in the
// largest size at which it does; the letters, the three captions and the buttons each in one
// size. The letter captions overlap their neighbours by a pixel, so each keeps a pixel free on
// either side.
void frmReplaceCipher::fitText()
{
    fitRow(font(), std::vector<QLabel *>(lblCapA.begin(), lblCapA.end()),
           [](const QLabel *label, const QFont &font) { return captionFits(label, font, 1); });
    fitRow(font(), std::vector<QLabel *>{Label1, Label2, Label3},
           [](const QLabel *label, const QFont &font) { return captionFits(label, font, 0); });
    fitRow(font(), std::vector<WrappingPushButton *>{cmdClearKeyword, cmdClearInput, cmdExit},
           [](const WrappingPushButton *button, const QFont &font) {
               const QRect box = button->captionRect();
               return box.contains(QFontMetrics(font).boundingRect(
                   box, WrappingPushButton::CaptionFlags, button->text()));
           });
    for (KeyBox *box : txtLetter)
        box->fitText();
}

void frmReplaceCipher::setBoxBackgrounds()
{
    for (KeyBox *box : txtLetter)
        setBoxBase(box, palette());
    setBoxBase(txtInput, palette());
    setBoxBase(txtOutput, palette());
}

void frmReplaceCipher::connectHandlers()
{
    for (int index = 1; index <= LetterCount; ++index)
        connect(txtLetter(index), &QLineEdit::textChanged, this,
                [this, index] { txtLetter_Change(index); });
    connect(txtInput, &QPlainTextEdit::textChanged, this, &frmReplaceCipher::txtInput_Change);
    connect(cmdClearInput, &QPushButton::clicked, this, &frmReplaceCipher::cmdClearInput_Click);
    connect(cmdClearKeyword, &QPushButton::clicked, this, &frmReplaceCipher::cmdClearKeyword_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmReplaceCipher::cmdExit_Click);
}

// What a screen reader says of the controls. Each letter caption labels its key box, so its
// accessible name is the box's purpose; the two big captions label their boxes, whose names are
// the captions' words, since a screen reader may speak both a label and a name that differs
// from it; the instruction at the top is announced once, as the window first becomes active
// (changeEvent), not spoken as the description of the box under A on every visit to it, and not
// left to the window's description, which screen readers may not say.
void frmReplaceCipher::describeForAssistiveTechnologies()
{
    for (int index = 1; index <= LetterCount; ++index)
        lblCapA(index)->setAccessibleName(txtLetter(index)->accessibleName());
    Label2->setBuddy(txtInput);
    Label3->setBuddy(txtOutput);
    nameScrollBars(txtInput, u"Input text"_s);
    nameScrollBars(txtOutput, u"Applied text"_s);
    std::vector<const QWidget *> typedIn(txtLetter.begin(), txtLetter.end());
    typedIn.push_back(txtInput);
    m_announcer = new OutputAnnouncer(txtOutput, std::move(typedIn), this);
}

// A title bar drawn by the toolkit on Wayland (weston) offers maximize whatever the window's
// size hints say, and a compositor that checks obedience ends the program when a maximized
// window keeps its own size. So while such a state is asked for, the window may take the size it
// is given, larger or smaller, until changeEvent has it back in the normal state and size.
void frmReplaceCipher::windowStateRequested(Qt::WindowState state)
{
    if (state == Qt::WindowMaximized || state == Qt::WindowFullScreen) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else {
        fixSizeOnceNormal(); // the window system may have turned the request down
    }
}

// The layout is absolute, so a maximized or full-screen window would only show the controls in
// a corner of an empty area: the window goes back to its normal size instead. Whether the
// normal state or the normal size comes back first depends on the window system.
void frmReplaceCipher::changeEvent(QEvent *event)
{
    // Once the window is active, with the focus in it; assertive, so that a screen reader that
    // ranks announcements by urgency (Orca 51) says the instruction before the box that has the
    // focus, as the window shows them, and the box's name is the last thing heard before typing.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !m_instructionSaid) {
        m_instructionSaid = true;
        const auto sayInstruction = [this] {
            m_announcer->announce(Label1->text(), OutputAnnouncer::Urgency::Assertive);
        };
        QMetaObject::invokeMethod(this, sayInstruction, Qt::QueuedConnection);
    }
    if (event->type() == QEvent::FontChange)
        fitText();
    if (event->type() == QEvent::PaletteChange)
        setBoxBackgrounds();
    if (event->type() == QEvent::WindowStateChange) {
        if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
            QMetaObject::invokeMethod(this, &QWidget::showNormal, Qt::QueuedConnection);
        else
            fixSizeOnceNormal();
    }
    QWidget::changeEvent(event);
}

void frmReplaceCipher::resizeEvent(QResizeEvent *event)
{
    fixSizeOnceNormal();
    QWidget::resizeEvent(event);
}

void frmReplaceCipher::fixSizeOnceNormal()
{
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) &&
        size() == Layout::ClientArea && minimumSize() != Layout::ClientArea)
        setFixedSize(Layout::ClientArea);
}

// The boxes start with their letters; the user finds them empty, with nothing to undo.
void frmReplaceCipher::Form_Load()
{
    {
        const QScopedValueRollback batching(m_batchingChanges, true);
        for (KeyBox *box : txtLetter)
            box->setText(QString());
    }
    txtInput_Change();
}

void frmReplaceCipher::txtLetter_Change(int /*Index*/)
{
    if (!m_batchingChanges)
        m_clearedKeys.clear(); // an edit after Clear Keyword: each box undoes its own again
    txtInput_Change();         // whichever letter changed, the whole output is recomputed
}

void frmReplaceCipher::txtInput_Change()
{
    if (m_batchingChanges)
        return;
    const ReplaceKey key(keyEntries()); // once a change: the output and its lines both need it
    showOutput(appliedText(key));
    m_scrollLink->outputChanged(AddsLineBreaks(key) ? OutputLineStarts(key, txtInput->text())
                                                    : std::vector<qsizetype>());
    showWhetherCut();
}

// Emptied as one edit of the box, so that undo in the box brings the whole text back: the
// button is the largest in the window, and a pasted text is not lost to a slip of the mouse.
void frmReplaceCipher::cmdClearInput_Click()
{
    QTextCursor everything(txtInput->document());
    everything.select(QTextCursor::Document);
    everything.removeSelectedText();
    m_announcer->announce(u"Input text cleared. "_s + m_announcer->firstLine());
}

void frmReplaceCipher::cmdClearKeyword_Click()
{
    std::vector<int> cleared;
    {
        const QScopedValueRollback batching(m_batchingChanges, true);
        const QuietAccessibility quiet;
        for (int index = 1; index <= LetterCount; ++index) {
            if (txtLetter(index)->text().isEmpty())
                continue;
            txtLetter(index)->clear(); // which, unlike setting the text, the box can undo
            cleared.push_back(index);
        }
    }
    m_clearedKeys = std::move(cleared);
    m_clearUndone = false;
    txtInput_Change();
    m_announcer->announce(u"Keyword cleared. "_s + m_announcer->firstLine());
}

// Undo in any key box after Clear Keyword brings back all the entries it emptied, in one step,
// and redo empties them again; each box undoes its own clear.
bool frmReplaceCipher::undoKeyClear(bool redo)
{
    if (m_clearedKeys.empty() || redo != m_clearUndone)
        return false;
    {
        const QScopedValueRollback batching(m_batchingChanges, true);
        const QuietAccessibility quiet;
        for (int index : m_clearedKeys) {
            if (redo)
                txtLetter(index)->redo();
            else
                txtLetter(index)->undo();
        }
    }
    m_clearUndone = !redo;
    txtInput_Change();
    return true;
}

bool frmReplaceCipher::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && !m_clearedKeys.empty()) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->matches(QKeySequence::Undo) && undoKeyClear(false))
            return true;
        if (key->matches(QKeySequence::Redo) && undoKeyClear(true))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

// A cut output goes on the clipboard as it is shown, and the one report says so.
void frmReplaceCipher::cmdExit_Click()
{
    const QString keyString = KeyString(keyEntries());
    const QString failure =
        m_clipboardExport->clearAndPut(ExportPieces(txtOutput->text(), keyString));
    QString report;
    if (!failure.isEmpty()) {
        report = u"The result could not be put on the clipboard: "_s + failure;
    } else if (m_wholeLength > txtOutput->text().size()) {
        report = cutWords(CutWords::ExitReport, locale(), txtOutput->text().size(), m_wholeLength);
    }
    if (!report.isEmpty())
        QMessageBox::warning(this, windowTitle(), report);
    hide();
    m_clipboardExport->endProgram();
}

// Typing in the input changes a character or two of the output, a key rewrites most of it;
// either way the view keeps its scroll position, and the selection where its text stayed.
void frmReplaceCipher::showOutput(const QString &output)
{
    const ChangedSpan span = changedSpan(txtOutput->text(), output);
    if (span.isEmpty())
        return;
    txtOutput->setText(output, span);
    m_announcer->outputChanged(span);
}

// The output for this key and the input as it stands, cut at the output limit: what the output
// box shows and what Exit exports. The limit is asked for again only when an output reaches it,
// as the memory the system can give may have grown since.
QString frmReplaceCipher::appliedText(const ReplaceKey &key)
{
    const QString &input = txtInput->text();
    QString output = ApplyKey(key, input, m_outputLimit);
    m_wholeLength = 0;
    // A cut leaves out at most one unit more, not to split a surrogate pair.
    if (output.size() + 1 < m_outputLimit)
        return output;
    if (const qsizetype limit = m_outputLimitOf(input.size()); limit > m_outputLimit) {
        m_outputLimit = limit;
        output = ApplyKey(key, input, m_outputLimit);
    }
    if (const qsizetype whole = OutputLength(key, input); whole > output.size())
        m_wholeLength = whole;
    return output;
}

// While the output is cut, the output box says so, and a screen reader hears it once.
void frmReplaceCipher::showWhetherCut()
{
    const qsizetype shown = txtOutput->text().size();
    const QString notice =
        m_wholeLength > 0 ? cutWords(CutWords::Notice, locale(), shown, m_wholeLength) : QString();
    if (notice == txtOutput->notice())
        return;
    const bool newlyCut = txtOutput->notice().isEmpty();
    txtOutput->setNotice(notice);
    if (newlyCut) {
        m_announcer->announce(cutWords(CutWords::Announcement, locale(), shown, m_wholeLength));
    }
}

KeyEntries frmReplaceCipher::keyEntries() const
{
    KeyEntries entries;
    for (int index = 1; index <= LetterCount; ++index)
        entries[index - 1] = txtLetter(index)->text();
    return entries;
}
