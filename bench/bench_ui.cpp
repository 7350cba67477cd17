// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Window latency: the real window, filled with English-like text, timed from the key event until
// the output box is updated and repainted.
//
//   bench_ui            the table of cases a-e by size and for one 1 MB line, idle memory
//   bench_ui --csv      only the table, as CSV
//   bench_ui --startup  one line: milliseconds from process start to the first painted window
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM names another (xcb under Xvfb).

#include "benchtext.h"
#include "frmreplacecipher.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTest>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int Repetitions = 21;

struct Figures
{
    double median = 0;
    double p95 = 0;
};

Figures figuresOf(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    const auto at = [&](double q) {
        return times[std::min(times.size() - 1, static_cast<std::size_t>(q * times.size()))];
    };
    return {times[times.size() / 2], at(0.95)};
}

double residentMegabytes()
{
    long pages = 0;
    long resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * double(sysconf(_SC_PAGESIZE)) / (1024 * 1024);
}

// Milliseconds since this process started, by the kernel's count.
double sinceProcessStart()
{
    unsigned long long startTicks = 0;
    if (FILE *stat = std::fopen("/proc/self/stat", "r")) {
        // Field 22 is the start time; the command name in field 2 may hold spaces.
        char line[4096];
        if (std::fgets(line, sizeof line, stat)) {
            const char *field = std::strrchr(line, ')');
            for (int index = 2; field && index < 22; ++index)
                field = std::strchr(field + 1, ' ');
            if (field)
                startTicks = std::strtoull(field + 1, nullptr, 10);
        }
        std::fclose(stat);
    }
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowMs = now.tv_sec * 1e3 + now.tv_nsec / 1e6;
    return nowMs - startTicks * 1e3 / sysconf(_SC_CLK_TCK);
}

class Bench
{
public:
    Bench()
    {
        m_window.show();
        if (!QTest::qWaitForWindowExposed(&m_window))
            std::fprintf(stderr, "the window was not exposed\n");
        m_keyBox = m_window.findChild<QLineEdit *>(u"txtLetter(1)"_s);
        m_input = m_window.findChild<QPlainTextEdit *>(u"txtInput"_s);
        m_output = m_window.findChild<QAbstractScrollArea *>(u"txtOutput"_s);
        m_clearKeyword = m_window.findChild<QPushButton *>(u"cmdClearKeyword"_s);
    }

    // A full key of single letters, set with one recompute rather than 26.
    void fillKey()
    {
        const QString alphabet = u"qwertyuiopasdfghjklzxcvbnm"_s;
        for (int index = 26; index >= 1; --index) {
            auto *box = m_window.findChild<QLineEdit *>(u"txtLetter(%1)"_s.arg(index));
            box->blockSignals(index != 1);
            box->setText(alphabet.mid(index - 1, 1));
            box->blockSignals(false);
        }
    }

    void setInput(const QString &text)
    {
        m_input->setPlainText(text);
        settle();
    }

    // Times action, which must leave the output changed, up to the output's repaint.
    double timed(const std::function<void()> &action)
    {
        // What the set-up changed is painted first, as it would be long before a user's next
        // keystroke: a repaint paints every pending change of the window, not only its own.
        settle();
        QElapsedTimer timer;
        timer.start();
        action();
        m_output->viewport()->repaint();
        return timer.nsecsElapsed() / 1e6;
    }

    Figures keyBoxKeystroke()
    {
        fillKey();
        std::vector<double> times;
        for (int rep = 0; rep < Repetitions; ++rep) {
            m_keyBox->setFocus();
            m_keyBox->selectAll();
            const Qt::Key key = rep % 2 ? Qt::Key_K : Qt::Key_J;
            times.push_back(timed([&] { QTest::keyClick(m_keyBox, key); }));
        }
        return figuresOf(times);
    }

    Figures inputKeystroke()
    {
        fillKey();
        std::vector<double> times;
        m_input->setFocus();
        QTextCursor cursor = m_input->textCursor();
        cursor.setPosition(m_input->document()->characterCount() / 2);
        m_input->setTextCursor(cursor);
        m_input->centerCursor();
        for (int rep = 0; rep < Repetitions; ++rep) {
            times.push_back(timed([&] { QTest::keyClick(m_input, Qt::Key_A); }));
            QTest::keyClick(m_input, Qt::Key_Backspace);
        }
        return figuresOf(times);
    }

    Figures clearKeyword()
    {
        std::vector<double> times;
        for (int rep = 0; rep < Repetitions; ++rep) {
            fillKey();
            times.push_back(timed([&] { QTest::mouseClick(m_clearKeyword, Qt::LeftButton); }));
        }
        return figuresOf(times);
    }

    // The click alone, with every key box already empty: the toolkit's share of case c.
    Figures clickWithNothingToClear()
    {
        QTest::mouseClick(m_clearKeyword, Qt::LeftButton);
        std::vector<double> times;
        for (int rep = 0; rep < Repetitions; ++rep)
            times.push_back(timed([&] { QTest::mouseClick(m_clearKeyword, Qt::LeftButton); }));
        return figuresOf(times);
    }

    Figures paste(const QString &text)
    {
        fillKey();
        QGuiApplication::clipboard()->setText(text);
        std::vector<double> times;
        for (int rep = 0; rep < Repetitions; ++rep) {
            setInput(QString());
            m_input->setFocus();
            times.push_back(
                timed([&] { QTest::keyClick(m_input, Qt::Key_V, Qt::ControlModifier); }));
        }
        return figuresOf(times);
    }

    // A page down or up in the input, both boxes repainted: what keeping them on the same lines
    // costs. With entryForE set, the output has more lines than the input, and each scroll
    // follows a change of the key, so that it finds again where each input line starts.
    Figures scrollPage(const QString &entryForE = QString())
    {
        fillKey();
        auto *e = m_window.findChild<QLineEdit *>(u"txtLetter(5)"_s);
        QScrollBar *bar = m_input->verticalScrollBar();
        bar->setValue(bar->maximum() / 2);
        std::vector<double> times;
        for (int rep = 0; rep < Repetitions; ++rep) {
            if (!entryForE.isEmpty())
                e->setText(rep % 2 ? entryForE : entryForE + u'x');
            const int page = rep % 2 ? -bar->pageStep() : bar->pageStep();
            times.push_back(timed([&] {
                bar->setValue(bar->value() + page);
                m_input->viewport()->repaint();
            }));
        }
        return figuresOf(times);
    }

    static void settle() { QCoreApplication::processEvents(); }

    // With the input box's signals blocked, a keystroke or a paste costs only what the toolkit's
    // editor itself costs: the floor under cases b and d.
    void setRecomputing(bool on) { m_input->blockSignals(!on); }

private:
    frmReplaceCipher m_window;
    QLineEdit *m_keyBox = nullptr;
    QPlainTextEdit *m_input = nullptr;
    QAbstractScrollArea *m_output = nullptr;
    QPushButton *m_clearKeyword = nullptr;
};

int startup()
{
    frmReplaceCipher window;
    // The first paint of the window's last control ends the startup.
    struct PaintWatch : QObject
    {
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::Paint) {
                QWidget *widget = static_cast<QWidget *>(watched);
                widget->removeEventFilter(this);
                std::printf("%.1f\n", sinceProcessStart());
                QTimer::singleShot(0, qApp, &QCoreApplication::quit);
            }
            return false;
        }
    } watch;
    window.findChild<QAbstractScrollArea *>(u"txtOutput"_s)->viewport()->installEventFilter(&watch);
    window.show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.contains(u"--startup"_s))
        return startup();
    const bool csv = arguments.contains(u"--csv"_s);

    Bench bench;
    const double idleMemory = residentMegabytes();
    struct Size
    {
        const char *label;
        qsizetype characters;
        bool oneLine;
    };
    const Size sizes[] = {{"64KB", 64 * 1024, false},
                          {"256KB", 256 * 1024, false},
                          {"1MB", 1024 * 1024, false},
                          {"10MB", 10 * 1024 * 1024, false},
                          {"1MB-line", 1024 * 1024, true}};

    if (csv)
        std::printf("case,size,median_ms,p95_ms\n");
    else
        std::printf("platform %s, %d repetitions; milliseconds from the key event to the repainted "
                    "output\n%-26s %7s %9s %9s\n",
                    qPrintable(QGuiApplication::platformName()), Repetitions, "case", "size",
                    "median", "p95");
    const auto row = [&](const char *name, const char *size, Figures figures) {
        if (csv)
            std::printf("%c,%s,%.2f,%.2f\n", name[0], size, figures.median, figures.p95);
        else
            std::printf("%-26s %7s %9.2f %9.2f\n", name, size, figures.median, figures.p95);
        std::fflush(stdout);
    };
    for (const auto &[label, size, oneLine] : sizes) {
        const QString text =
            BenchText::englishLikeText(size, BenchText::englishWords(), oneLine ? 0 : 70);
        bench.setInput(text);
        row("a key box keystroke", label, bench.keyBoxKeystroke());
        row("b input keystroke", label, bench.inputKeystroke());
        if (!oneLine) // clearing the key costs what a key box keystroke costs
            row("c Clear Keyword", label, bench.clearKeyword());
        row("d paste into empty input", label, bench.paste(text));
        if (!oneLine)
            row("e scroll a page", label, bench.scrollPage());
    }
    if (csv)
        return 0;
    bench.setInput(BenchText::englishLikeText(10 * 1024 * 1024, BenchText::englishWords(), 70));
    row("e scroll, E holds a break", "10MB", bench.scrollPage(u"k\ne"_s));
    bench.setInput(BenchText::englishLikeText(64 * 1024, BenchText::englishWords()));
    row("c click, nothing to clear", "64KB", bench.clickWithNothingToClear());
    const QString line = BenchText::englishLikeText(1024 * 1024, BenchText::englishWords(), 0);
    bench.setInput(line);
    bench.setRecomputing(false);
    row("b input box alone", "1MB-line", bench.inputKeystroke());
    row("d input box alone", "1MB-line", bench.paste(line));
    const QString book =
        BenchText::englishLikeText(10 * 1024 * 1024, BenchText::englishWords(), 70);
    row("d input box alone", "10MB", bench.paste(book));
    bench.setRecomputing(true);
    std::printf("resident memory with an empty input: %.1f MB\n", idleMemory);
    return 0;
}
