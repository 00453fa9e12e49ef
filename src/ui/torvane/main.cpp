// The desktop application: `torvane [BACKUP_FOLDER]`. With a backup folder, the window opens
// with that backup chosen, ready to scan.
#include "app/CrashHandling.h"
#include "common/AppPaths.h"
#include "ui/TorvaneApplication.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <cstring>
#include <iostream>

int main(int argc, char** argv) {
    InstallUncaughtExceptionHandler();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Torvane"));
    QApplication::setDesktopFileName(QStringLiteral("torvane"));
    // An installed program finds its resources beside itself: <prefix>/share/torvane/resources.
    const QString installed =
        QDir(QApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../share/torvane/resources"));
    if (!std::getenv("TORVANE_RESOURCES_DIR") && QFileInfo(installed).isDir())
        AppPaths::setResourcesDirectory(QDir::cleanPath(installed).toStdString());

    TorvaneApplication::Options options;
    options.watchSignals = true;
    const QStringList arguments = QApplication::arguments();
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            std::cout << "Usage: torvane [BACKUP_FOLDER]\n"
                         "Opens the Torvane window; with a backup folder, that backup is chosen.\n";
            return 0;
        }
        if (options.backupFolder) {
            std::cerr << "torvane: one backup folder at most\n";
            return 2;
        }
        options.backupFolder = QFileInfo(argument).absoluteFilePath().toStdString();
    }
    TorvaneApplication application(options);
    application.start();
    return QApplication::exec();
}
