// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A key box: the text typed under one letter, of any length, in a box 17 pixels wide.
//
// An entry of several characters is this tool's strength, so the box shows as much of it as it
// can: its text shrinks to fit (as the captions do, down to a legible floor), a box without the
// focus shows its entry from the first character, and an entry that does not show whole, or
// is longer than three characters, is also the box's tooltip and accessible description.
#pragma once

#include <QLineEdit>

class KeyBox : public QLineEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(KeyBox)

public:
    explicit KeyBox(QWidget *parent = nullptr);
    ~KeyBox() override;

    // Fits the text to the box again, from the font the box inherits; the window calls it when
    // its font changes.
    void fitText();

    // Whether the whole entry shows in the box (at the floor size, or larger).
    bool showsWhole() const { return m_showsWhole; }

    // The smallest size, in points, the text shrinks to.
    static constexpr qreal FloorPointSize = 6;
    // The longest entry that needs no tooltip, in characters.
    static constexpr int ShortEntry = 3;

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void entryChanged();
    QRect contents() const;
    QRect textArea() const;
    void centreLine();

    bool m_showsWhole = true;
};
