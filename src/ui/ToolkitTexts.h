#pragma once

#include <QString>

// The texts that Qt's own widgets draw (the file panels' "Look in", "Cancel", "Save As", the
// message boxes' buttons) in the chosen language: Qt's translation for the language named by
// the language file's locale ("de") is loaded, the previous one taken away. English, a
// language Qt has no translation for, or a missing translation leaves Qt's own English.
namespace ToolkitTexts {
// Loads the translation for the chosen language; whether one is in use now.
bool load();
// The locale whose translation is in use; empty for none.
QString locale();
}  // namespace ToolkitTexts
