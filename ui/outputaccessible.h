// What assistive technologies see of the output view: a read-only multi-line text with a caret
// and a selection, and no way to edit it.
//
// A screen reader reads it a character, word, sentence or line at a time: a word runs from its
// start to the next word's start, as AT-SPI defines it, and a line, like the line's last word,
// stops before its line break, as in the toolkit's own text boxes. Only the text around the
// offset asked for is looked at, never the whole book. The text
// is one run of attributes from end to end: a screen reader builds a line from the runs it
// covers, and one that ended short would cut the line.
#pragma once

#include <QString>

QT_BEGIN_NAMESPACE
class QAccessibleInterface;
class QObject;
QT_END_NAMESPACE

// The accessibility factory for output views; OutputView installs it.
QAccessibleInterface *outputViewAccessible(const QString &className, QObject *object);
