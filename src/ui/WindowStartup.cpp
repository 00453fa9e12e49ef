#include "ui/WindowStartup.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <iostream>

namespace WindowStartup {

PanelImage mainPanelImage(const QString& programFolder, const QString& resourcesFolder,
                          const QSize& size) {
    PanelImage panel;
    const QString custom = QDir(programFolder).filePath(QString::fromLatin1(kCustomPanelImage));
    if (!programFolder.isEmpty() && QFileInfo::exists(custom)) {
        QImageReader reader(custom);
        const QImage image = reader.read();
        if (!image.isNull()) {
            panel.pixmap = QPixmap::fromImage(image).scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            panel.custom = true;
            return panel;
        }
        std::cerr << ("window: " + custom.toStdString() + " is no readable image (" +
                      reader.errorString().toStdString() + "); the branded picture is shown\n");
    }
    const QString branded =
        QDir(resourcesFolder).filePath(QStringLiteral("icons/%1.svg").arg(QString::fromLatin1(kBrandedPanelImage)));
    panel.pixmap = QIcon(branded).pixmap(size);
    return panel;
}

QPoint centredPosition(const QSize& frame, const QRect& available) {
    const int x = available.x() + (available.width() - frame.width()) / 2;
    const int y = available.y() + (available.height() - frame.height()) / 2;
    return {std::max(available.x(), x), std::max(available.y(), y)};
}

void centreOnScreen(QWidget& window) {
    QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    window.move(centredPosition(window.frameGeometry().size(), screen->availableGeometry()));
}

}  // namespace WindowStartup
