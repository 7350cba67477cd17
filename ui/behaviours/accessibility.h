// SPDX-FileCopyrightText: 2026 The Vellumtide developers
// SPDX-License-Identifier: GPL-3.0-or-later

// What assistive technologies see of the decoder's own controls, where the toolkit's defaults
// would mislead them: the output announcer's notice is a notification, and the output view a
// read-only multi-line text with a caret and a selection, and no way to edit it.
//
// A screen reader reads the output a character, word, sentence or line at a time: a word runs
// from its start to the next word's start, as AT-SPI defines it, and a line, like the line's last
// word, stops before its line break, as in the toolkit's own text boxes. Only the text around the
// offset asked for is looked at, never the whole book. The text is one run of attributes from
// end to end: a screen reader builds a line from the runs it covers, and one that ended short
// would cut the line.
#pragma once

// Installs the interfaces, once; the window calls it before it first tells assistive
// technologies of itself, as the toolkit keeps the first interface it makes for a widget.
void installAccessibleInterfaces();
