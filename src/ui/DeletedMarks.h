#pragma once

#include <QColor>

// How the window marks a deleted record wherever it lists one: its text in red; an item that
// stands on its own (a picture of the photo grid) also on a pale red ground.
namespace DeletedMarks {
inline QColor text() { return QColor(185, 32, 32); }
inline QColor ground() { return QColor(0xfb, 0xe9, 0xe9); }
}  // namespace DeletedMarks
