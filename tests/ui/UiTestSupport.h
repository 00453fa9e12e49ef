#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>
#include <string>

// The window's test cases register here; main runs the one named on its command line.
using UiTestFactory = std::function<QObject*()>;
std::map<std::string, UiTestFactory>& UiTests();

struct UiTestRegistration {
    UiTestRegistration(const char* name, UiTestFactory factory) { UiTests()[name] = std::move(factory); }
};
#define TORVANE_UI_TEST(Class) \
    static UiTestRegistration registration##Class(#Class, [] { return new Class; });

// Answers the next modal message box with the button whose text is `button` (the first button
// when empty) and keeps its text in `seen`.
void AnswerNextMessageBox(const QString& button, QString* seen = nullptr);
// Presses the key on the next modal message box and keeps its text in `seen`.
void KeyOnNextMessageBox(int key, QString* seen = nullptr);
// Runs the event loop until the condition holds or the time is up; whether it holds.
bool WaitFor(const std::function<bool()>& condition, int milliseconds = 60000);
