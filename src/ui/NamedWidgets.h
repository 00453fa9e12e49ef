#pragma once

#include "config/LanguageConfig.h"

#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>

// The windows build their widgets by hand; every widget carries the name its window knows it
// by, which style sheets and tests find it with.
namespace NamedWidgets {

inline LanguageConfig& Texts() {
    return LanguageConfig::sharedObject();
}

template <class W>
W* Named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

inline QLabel* Label(QWidget* parent, const char* name, bool wrap = true) {
    auto* label = Named(new QLabel(parent), name);
    label->setWordWrap(wrap);
    return label;
}

inline QPushButton* Button(QWidget* parent, const char* name) {
    return Named(new QPushButton(parent), name);
}

}  // namespace NamedWidgets
