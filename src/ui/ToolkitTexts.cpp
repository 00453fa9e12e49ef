#include "ui/ToolkitTexts.h"

#include "config/LanguageConfig.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <algorithm>
#include <iostream>
#include <memory>

namespace {

std::unique_ptr<QTranslator> gTranslator;
QString gLocale;

}  // namespace

namespace ToolkitTexts {

bool load() {
    if (gTranslator) {
        QCoreApplication::removeTranslator(gTranslator.get());
        gTranslator.reset();
        gLocale.clear();
    }
    const QString wanted = QString::fromStdString(LanguageConfig::sharedObject().LanguageLocale().value_or("")).trimmed();
    // A locale is letters and an underscore ("de", "pt_BR"); English needs no translation.
    static const QString kLetters = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_");
    if (wanted.isEmpty() || wanted == QLatin1String("en") ||
        !std::all_of(wanted.begin(), wanted.end(), [](QChar c) { return kLetters.contains(c); }))
        return false;
    auto translator = std::make_unique<QTranslator>();
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_") + wanted, folder)) {
        std::cerr << ("window: no Qt translation qtbase_" + wanted.toStdString() + " in " + folder.toStdString() +
                      "; Qt's own panels stay in English\n");
        return false;
    }
    QCoreApplication::installTranslator(translator.get());
    gTranslator = std::move(translator);
    gLocale = wanted;
    return true;
}

QString locale() {
    return gLocale;
}

}  // namespace ToolkitTexts
