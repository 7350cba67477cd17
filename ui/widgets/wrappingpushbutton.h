// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A push button whose caption wraps onto several lines, centred, inside its fixed geometry.
//
// QPushButton draws its text on one line and cuts it off when the button is too narrow; the
// window's buttons are narrow and tall, so their captions break between words instead.
#pragma once

#include <QPushButton>

class WrappingPushButton : public QPushButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WrappingPushButton)

public:
    explicit WrappingPushButton(const QString &text, QWidget *parent = nullptr);
    ~WrappingPushButton() override;

    // Where the caption is drawn, inside the bevel.
    QRect captionRect() const;

    // The alignment and wrapping the caption is drawn with.
    static constexpr int CaptionFlags = Qt::AlignCenter | Qt::TextWordWrap;

protected:
    void paintEvent(QPaintEvent *event) override;
};
