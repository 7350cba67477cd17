// What assistive technologies get from the window, through the toolkit's own accessibility
// interfaces (the AT-SPI bridge serves these): roles, names, relations, the read-only output,
// and the announcement of the output. tests/accessibility runs the real AT-SPI stack and Orca.

#include "frmreplacecipher.h"
#include "outputannouncer.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextDocument>

#include <memory>

using namespace Qt::StringLiterals;

class TestAccessibility : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<frmReplaceCipher> m_window;

    template <typename T = QWidget> T *control(const QString &name) const
    {
        T *found = m_window->findChild<T *>(name);
        if (!found)
            qFatal("no control %s", qPrintable(name));
        return found;
    }
    static QAccessibleInterface *accessible(QObject *object)
    {
        return QAccessible::queryAccessibleInterface(object);
    }
    QString outputText() const
    {
        return control<QPlainTextEdit>(u"txtOutput"_s)->document()->toPlainText();
    }
    QString notice() const
    {
        return control(QString::fromUtf16(OutputAnnouncer::NoticeName))->accessibleName();
    }

private Q_SLOTS:
    void init()
    {
        m_window = std::make_unique<frmReplaceCipher>();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }
    void cleanup() { m_window.reset(); }

    void windowIsAnApplicationWindow()
    {
        QCOMPARE(accessible(m_window.get())->role(), QAccessible::Window);
        QCOMPARE(accessible(control(QString::fromUtf16(OutputAnnouncer::NoticeName)))->role(),
                 QAccessible::Notification);
    }

    void boxesAreLabelledByTheirCaptions_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("under A") << u"txtLetter(1)"_s << u"lblCapA(1)"_s << u"Key for A"_s;
        QTest::newRow("under Z") << u"txtLetter(26)"_s << u"lblCapA(26)"_s << u"Key for Z"_s;
        QTest::newRow("input") << u"txtInput"_s << u"Label2"_s
                               << u"Enter text to be decrypted (/ Applied to) here:"_s;
        QTest::newRow("output")
            << u"txtOutput"_s << u"Label3"_s
            << u"View / Copy Applied text here (automatically updated as you type)"_s;
    }

    // A screen reader speaks the label of a labelled box, so the label says what it is for.
    void boxesAreLabelledByTheirCaptions()
    {
        QFETCH(QString, box);
        QFETCH(QString, caption);
        QFETCH(QString, spoken);
        const auto relations = accessible(control(box))->relations(QAccessible::Label);
        QCOMPARE(relations.size(), 1);
        QCOMPARE(relations.first().first->object(), control(caption));
        QCOMPARE(relations.first().first->text(QAccessible::Name), spoken);
    }

    void instructionDescribesTheFirstBox()
    {
        QCOMPARE(accessible(control(u"txtLetter(1)"_s))->text(QAccessible::Description),
                 control<QLabel>(u"Label1"_s)->text());
    }

    void editsOfTheOutputAreUndone_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("insert") << 0;
        QTest::newRow("delete") << 1;
        QTest::newRow("replace") << 2;
    }

    // The output shows ApplyKey of the boxes, and only the program writes it; an assistive
    // technology can edit any text box through the toolkit.
    void editsOfTheOutputAreUndone()
    {
        QFETCH(int, kind);
        QTest::keyClicks(control(u"txtLetter(1)"_s), u"t"_s);
        QTest::keyClicks(control(u"txtInput"_s), u"a b"_s);
        QCOMPARE(outputText(), u"T *"_s);
        QAccessibleEditableTextInterface *editable =
            accessible(control(u"txtOutput"_s))->editableTextInterface();
        QVERIFY(editable);
        if (kind == 0)
            editable->insertText(0, u"HACK"_s);
        else if (kind == 1)
            editable->deleteText(0, 2);
        else
            editable->replaceText(0, 3, u"HACK"_s);
        QTRY_COMPARE(outputText(), u"T *"_s);
        // The program's own writes still go through.
        QTest::keyClicks(control(u"txtInput"_s), u"c"_s);
        QCOMPARE(outputText(), u"T **"_s);
    }

    void outputAnnouncedOncePaused_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("announced");
        QTest::newRow("in the input") << u"txtInput"_s << u"tab"_s << u"Applied text: Q**"_s;
        QTest::newRow("in a key box") << u"txtLetter(2)"_s << u"x"_s << u"Applied text: Q*X"_s;
    }

    void outputAnnouncedOncePaused()
    {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QString, announced);
        QTest::keyClicks(control(u"txtLetter(20)"_s), u"q"_s);
        control(box)->setFocus();
        QTest::keyClicks(control(box), typed);
        if (box != u"txtInput")
            QTest::keyClicks(control(u"txtInput"_s), u"tab"_s);
        QCOMPARE(QApplication::focusWidget(), control(box));
        QTRY_COMPARE(notice(), announced);
    }

    // Typing that does not change the output, and typing in the output, announce nothing.
    void nothingAnnouncedWithoutChange()
    {
        QTest::keyClicks(control(u"txtLetter(1)"_s), u"q"_s);
        QTest::qWait(OutputAnnouncer::PauseMs * 2);
        QCOMPARE(notice(), QString());
    }

    void announcementExcerpts_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<bool>("fromEnd");
        QTest::addColumn<QString>("expected");
        const QString eighty = QString(80, u'A');
        QTest::newRow("empty") << QString() << false << u"Applied text: empty"_s;
        QTest::newRow("short") << u"Q *"_s << true << u"Applied text: Q *"_s;
        QTest::newRow("exactly the limit") << eighty << false << u"Applied text: "_s + eighty;
        QTest::newRow("long, from the start")
            << eighty + u"BC"_s << false << u"Applied text: "_s + eighty + u'…';
        QTest::newRow("long, from the end")
            << u"BC"_s + eighty << true << u"Applied text: …"_s + eighty;
        // 79 letters and a pair that the cut would split: the pair stays whole or goes.
        const QString pair = u"👍"_s;
        QTest::newRow("pair at the start's cut") << QString(79, u'A') + pair + u"B"_s << false
                                                 << u"Applied text: "_s + QString(79, u'A') + u'…';
        QTest::newRow("pair at the end's cut") << u"B"_s + pair + QString(79, u'A') << true
                                               << u"Applied text: …"_s + QString(79, u'A');
    }

    void announcementExcerpts()
    {
        QFETCH(QString, output);
        QFETCH(bool, fromEnd);
        QFETCH(QString, expected);
        QCOMPARE(announcementOf(output, fromEnd), expected);
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
