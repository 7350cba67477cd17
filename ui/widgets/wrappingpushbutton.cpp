// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "wrappingpushbutton.h"

#include "boxframe.h"

#include <QStyleOptionButton>
#include <QStylePainter>

WrappingPushButton::WrappingPushButton(const QString &text, QWidget *parent)
    : QPushButton(text, parent)
{
}

WrappingPushButton::~WrappingPushButton() = default;

QRect WrappingPushButton::captionRect() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
}

void WrappingPushButton::paintEvent(QPaintEvent * /*event*/)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear(); // the style draws the bevel and the focus frame, the caption is ours
    painter.drawControl(QStyle::CE_PushButton, option);
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.drawText(captionRect(), CaptionFlags, text());
    // The focus ring stands against the style's bevel as it looks without the focus.
    if (hasFocus()) {
        option.state &= ~QStyle::State_HasFocus;
        paintFocusRing(this, unfocusedLook(this, [&](QPainter &look) {
                           style()->drawControl(QStyle::CE_PushButton, &option, &look, this);
                       }));
    }
}
