#pragma once

#include "common/Types.h"
#include "config/TitleHelpers.h"

#include <QColor>
#include <QString>

class QAbstractButton;
class QLabel;
class QLineEdit;
class QTableWidget;
class QWidget;

// The Qt side of the title helpers: a StyledTitle applied to a button (its text, colour,
// alignment, point size and underline), a text to a table's column header. Every visible
// text comes from the language texts, so these also turn an absent text into an empty one.
namespace TitleAdapters {

QString ToQString(const OptString& text);
QString ToQString(const std::string& text);
QColor ToQColor(TitleColor color);

inline constexpr TitleColor kWhite{255, 255, 255, 255};
inline constexpr TitleColor kBlack{0, 0, 0, 255};
inline constexpr TitleColor kBlue{0, 0, 255, 255};

// Sets the button's title as the helper styled it; the colour, size, alignment and underline
// go into the button's own style sheet, so the window's style still gives its background.
void ApplyTitle(QAbstractButton* button, const StyledTitle& title);
// A link inside a sentence: its title set as large as the sentence's text around it.
void SizeAsSentence(QAbstractButton* link, QWidget* sentence);
// The header of one column.
void ApplyHeaderTitle(QTableWidget* table, int column, const OptString& text);
// A label's text and a line edit's placeholder, from a language text.
void SetText(QLabel* label, const OptString& text);
void SetPlaceholder(QLineEdit* edit, const OptString& text);

}  // namespace TitleAdapters
