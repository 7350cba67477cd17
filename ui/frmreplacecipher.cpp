#include "frmreplacecipher.h"

#include "changedspan.h"
#include "layout.h"
#include "outputannouncer.h"
#include "outputview.h"
#include "substitution.h"
#include "wrappingpushbutton.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontMetricsF>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextDocument>
#include <QWindow>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

// The smallest step by which a caption's font shrinks to fit its fixed box.
constexpr qreal FontStep = 0.25;

QLabel *makeLabel(const QString &caption, const QString &name, const QRect &geometry,
                  QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(geometry);
    return label;
}

// Shrinks a label's font to the largest size at which its caption fits on its one line.
void fitCaption(QLabel *label)
{
    QFont font = label->font();
    const QRect box = label->contentsRect();
    auto fits = [&] {
        const QFontMetricsF metrics(font);
        return metrics.horizontalAdvance(label->text()) <= box.width() &&
               metrics.height() <= box.height();
    };
    while (!fits() && font.pointSizeF() > FontStep)
        font.setPointSizeF(font.pointSizeF() - FontStep);
    label->setFont(font);
}

// Shrinks a button's font to the largest size at which its wrapped caption fits the button.
void fitCaption(WrappingPushButton *button)
{
    QFont font = button->font();
    const QRect box = button->captionRect();
    auto fits = [&] {
        const QRect needed =
            QFontMetrics(font).boundingRect(box, WrappingPushButton::CaptionFlags, button->text());
        return box.contains(needed);
    };
    while (!fits() && font.pointSizeF() > FontStep)
        font.setPointSizeF(font.pointSizeF() - FontStep);
    button->setFont(font);
}

WrappingPushButton *makeButton(const QString &caption, const QString &name, const QRect &geometry,
                               QWidget *parent)
{
    auto *button = new WrappingPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setGeometry(geometry);
    fitCaption(button);
    return button;
}

// A multi-line box that pastes plain text straight into its document. The toolkit's own paste
// first builds a separate document of the whole text and then copies it in, block by block,
// which makes pasting a book take several times as long.
class TextBox : public QPlainTextEdit
{
public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    void insertFromMimeData(const QMimeData *source) override
    {
        if (isReadOnly() || !source || !source->hasText()) {
            QPlainTextEdit::insertFromMimeData(source);
            return;
        }
        QTextCursor cursor = textCursor();
        cursor.insertText(source->text());
        setTextCursor(cursor);
        ensureCursorVisible();
    }
};

QPlainTextEdit *makeTextBox(const QString &name, const QString &accessibleName,
                            const QRect &geometry, QWidget *parent)
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

// The text of a multi-line box exactly as typed or pasted. toPlainText() would turn no-break
// spaces into spaces and line separators into line feeds; the raw text keeps them, and has a
// paragraph separator only between blocks, where the box holds a line break.
QString textOf(const QPlainTextEdit *box)
{
    QString text = box->document()->toRawText();
    // A plain loop that vectorises: QString::replace takes longer than the transform itself.
    char16_t *units = reinterpret_cast<char16_t *>(text.data());
    for (qsizetype i = 0, size = text.size(); i < size; ++i)
        units[i] = units[i] == u'\u2029' ? u'\n' : units[i];
    return text;
}

// A top-level QWidget is exposed to assistive technologies as a plain area ("filler"), while the
// decoder's window is an application window ("frame"); and the output announcer's notice, a
// plain widget, is a notification to them.
QAccessibleInterface *windowAccessible(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (className == u"frmReplaceCipher")
        return new QAccessibleWidget(widget, QAccessible::Window);
    if (object->objectName() == QStringView(OutputAnnouncer::NoticeName))
        return new QAccessibleWidget(widget, QAccessible::Notification);
    return nullptr;
}

void nameScrollBars(QAbstractScrollArea *box, const QString &boxName)
{
    box->verticalScrollBar()->setAccessibleName(boxName + u" vertical scroll bar"_s);
    box->horizontalScrollBar()->setAccessibleName(boxName + u" horizontal scroll bar"_s);
}

// Line number line (from 0) of text, or an empty string where it has fewer lines.
QString lineOf(const QString &text, int line)
{
    qsizetype start = 0;
    for (; line > 0; --line) {
        const qsizetype lineBreak = text.indexOf(u'\n', start);
        if (lineBreak < 0)
            return {};
        start = lineBreak + 1;
    }
    const qsizetype end = text.indexOf(u'\n', start);
    return text.mid(start, end < 0 ? -1 : end - start);
}

} // namespace

frmReplaceCipher::frmReplaceCipher(QWidget *parent)
    : QWidget(parent)
    , m_clipboardExport(makeSystemClipboardExport())
{
    // Before anything that tells assistive technologies of the window (setWindowTitle does,
    // under Qt 6.8): the toolkit keeps the first accessible object it makes for a widget.
    static const bool windowRoleInstalled = [] {
        QAccessible::installFactory(&windowAccessible);
        return true;
    }();
    Q_UNUSED(windowRoleInstalled)
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
    describeForAssistiveTechnologies();
    connectHandlers();
    Form_Load();
    txtLetter(1)->setFocus();
}

frmReplaceCipher::~frmReplaceCipher() = default;

void frmReplaceCipher::setClipboardExport(std::unique_ptr<ClipboardExport> clipboardExport)
{
    m_clipboardExport = std::move(clipboardExport);
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

        auto *box = new QLineEdit(letter, this);
        box->setObjectName(u"txtLetter(%1)"_s.arg(index));
        box->setAccessibleName(u"Key for "_s + letter);
        box->setGeometry(Layout::txtLetter(index));
        box->setAlignment(Qt::AlignCenter);
        box->setMaxLength(std::numeric_limits<int>::max());
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

    for (QLabel *label : {Label1, Label2, Label3})
        fitCaption(label);
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
// from it (Orca 48 does); the instruction at the top is said once, with the first box the focus
// lands in.
void frmReplaceCipher::describeForAssistiveTechnologies()
{
    for (int index = 1; index <= LetterCount; ++index)
        lblCapA(index)->setAccessibleName(txtLetter(index)->accessibleName());
    txtLetter(1)->setAccessibleDescription(Label1->text());
    Label2->setBuddy(txtInput);
    Label3->setBuddy(txtOutput);
    nameScrollBars(txtInput, u"Input text"_s);
    nameScrollBars(txtOutput, u"Applied text"_s);
    m_announcer = new OutputAnnouncer(
        [this](const QWidget *focus) {
            if (focus == txtInput)
                return announcementOf(
                    lineOf(txtOutput->text(), txtInput->textCursor().blockNumber()), true);
            if (std::find(txtLetter.begin(), txtLetter.end(), focus) != txtLetter.end())
                return announcementOf(lineOf(txtOutput->text(), 0), false);
            return QString();
        },
        this);
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

void frmReplaceCipher::Form_Load()
{
    cmdClearKeyword_Click();
}

void frmReplaceCipher::txtLetter_Change(int /*Index*/)
{
    txtInput_Change(); // whichever letter changed, the whole output is recomputed
}

void frmReplaceCipher::txtInput_Change()
{
    if (m_batchingChanges)
        return;
    showOutput(appliedText(keyEntries()));
}

void frmReplaceCipher::cmdClearInput_Click()
{
    txtInput->clear();
}

void frmReplaceCipher::cmdClearKeyword_Click()
{
    {
        const QScopedValueRollback batching(m_batchingChanges, true);
        for (QLineEdit *box : txtLetter)
            box->clear();
    }
    txtInput_Change();
}

void frmReplaceCipher::cmdExit_Click()
{
    const QString failure =
        m_clipboardExport->clearAndPut(ExportText(txtOutput->text(), KeyString(keyEntries())));
    if (!failure.isEmpty()) {
        QMessageBox::warning(this, windowTitle(),
                             u"The result could not be put on the clipboard: "_s + failure);
    }
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
    m_announcer->outputChanged();
}

// The output for these entries and the input as it stands, cut where MaxOutputLength says:
// what the output box shows and what Exit exports.
QString frmReplaceCipher::appliedText(const KeyEntries &entries) const
{
    const QString input = textOf(txtInput);
    return ApplyKey(entries, input, std::max(MaxOutputLength, 4 * input.size()));
}

KeyEntries frmReplaceCipher::keyEntries() const
{
    KeyEntries entries;
    for (int index = 1; index <= LetterCount; ++index)
        entries[index - 1] = txtLetter(index)->text();
    return entries;
}
