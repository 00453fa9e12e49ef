#pragma once

#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

// The window's own steps of start-up that need no other part of the window: the picture of
// the main panel and the window's place on the screen.
namespace WindowStartup {

// The file that, lying in the program's folder, replaces the branded picture of the main
// panel, and the branded picture's name among the resources' icons.
inline constexpr const char* kCustomPanelImage = "ipad_gui.png";
inline constexpr const char* kBrandedPanelImage = "TM640-Torvane";

struct PanelImage {
    QPixmap pixmap;
    // The picture is the custom one from the program's folder.
    bool custom = false;
};

// The custom picture when "ipad_gui.png" lies in programFolder and reads as an image; else
// the branded picture from resourcesFolder's icons (a null pixmap when that is missing too).
PanelImage mainPanelImage(const QString& programFolder, const QString& resourcesFolder,
                          const QSize& size);

// The top left corner that centres a window of the frame size in the available area; a
// window larger than the area keeps its top left corner inside it, so that its title bar can
// be reached.
QPoint centredPosition(const QSize& frame, const QRect& available);

// Centres the window on its screen (the primary screen when it has none yet).
void centreOnScreen(QWidget& window);

}  // namespace WindowStartup
