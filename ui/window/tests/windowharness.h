// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// What the window's tests share: a window whose Exit hands its text to a record instead of the
// clipboard, its controls by name, pasting as a user does, and the input's text as the box's
// document holds it.
#pragma once

#include "clipboardexport.h"
#include "frmreplacecipher.h"
#include "keybox.h"
#include "outputview.h"
#include "substitution.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

#include <memory>

// What Exit handed over, seen from the test.
struct ExportRecord
{
    QStringList texts;
    int ends = 0;
    QString failure; // what clearAndPut answers
};

class RecordingExport final : public ClipboardExport
{
public:
    explicit RecordingExport(std::shared_ptr<ExportRecord> record)
        : m_record(std::move(record))
    {
    }
    QString clearAndPut(std::span<const QStringView> text) override
    {
        m_record->texts << joined(text);
        return m_record->failure;
    }
    void endProgram() override { ++m_record->ends; }

private:
    std::shared_ptr<ExportRecord> m_record;
};

// The base of a test class of the window: init() opens a window, cleanup() closes it.
class WindowHarness : public QObject
{
protected:
    std::unique_ptr<frmReplaceCipher> m_window;
    std::shared_ptr<ExportRecord> m_record;

    void openWindow()
    {
        m_record = std::make_shared<ExportRecord>();
        m_window = std::make_unique<frmReplaceCipher>();
        m_window->setClipboardExport(std::make_unique<RecordingExport>(m_record));
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    template <typename T = QWidget> T *control(const QString &name) const
    {
        T *found = m_window->findChild<T *>(name);
        if (!found)
            qFatal("no control %s", qPrintable(name));
        return found;
    }
    KeyBox *keyBox(int index) const
    {
        return control<KeyBox>(QStringLiteral("txtLetter(%1)").arg(index));
    }
    QPushButton *button(const QString &name) const { return control<QPushButton>(name); }
    QPlainTextEdit *input() const { return control<QPlainTextEdit>(QStringLiteral("txtInput")); }
    OutputView *output() const { return control<OutputView>(QStringLiteral("txtOutput")); }
    QString outputText() const { return output()->text(); }
    KeyEntries entries() const
    {
        KeyEntries key;
        for (int index = 1; index <= LetterCount; ++index)
            key[index - 1] = keyBox(index)->text();
        return key;
    }
    static void press(QWidget *target, QKeySequence::StandardKey key)
    {
        const QKeyCombination combination = QKeySequence(key)[0];
        QTest::keyClick(target, combination.key(), combination.keyboardModifiers());
    }
    static void paste(QWidget *target, const QString &text)
    {
        QGuiApplication::clipboard()->setText(text);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
    }
    // The input box's text read from its document, line breaks as line feeds.
    QString inputText() const
    {
        return input()->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n');
    }
};
