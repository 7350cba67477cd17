// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "keeperoffer.h"

#include <QMimeData>

OfferedBack offeredBack(const QMimeData *offer, bool ours, QStringView text)
{
    if (ours || !offer || !offer->hasText())
        return OfferedBack::Nothing;
    return offer->text() == text ? OfferedBack::TheText : OfferedBack::AnotherText;
}
