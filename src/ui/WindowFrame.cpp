// The main window's frame: its own title bar, moving the window by that bar, resizing it by its
// edges, maximising, minimising and closing it.
#include "ui/MainMenu.h"

#include "app/ApplicationCore.h"
#include "app/ApplicationShutdown.h"
#include "app/ScanWorker.h"
#include "ui/NamedWidgets.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QWindow>

using NamedWidgets::Named;

void MainMenu::buildTitleBar() {
    titleBar = Named(new QWidget(this), "titleBar");
    titleBar->setFixedHeight(46);
    titleBar->installEventFilter(this);
    auto* bar = new QHBoxLayout(titleBar);
    bar->setContentsMargins(12, 4, 8, 4);
    auto* logo = Named(new QLabel(titleBar), "imgLogo");
    logo->setPixmap(icon("torvane").pixmap(30, 30));
    lblProductName = Named(new QLabel(QStringLiteral("Torvane"), titleBar), "lblProductName");
    lblVersion = Named(new QLabel(titleBar), "lblSKVersion");
    lblDisplayname = Named(new QLabel(titleBar), "lblDisplayname");
    btnMenu = Named(new QToolButton(titleBar), "btnMenu");
    btnMenu->setIcon(icon("menu"));
    btnMenu->setIconSize(QSize(22, 22));
    btnMinimise = Named(new QToolButton(titleBar), "btnMinimise");
    btnMinimise->setIcon(icon("minimise"));
    btnMaximise = Named(new QToolButton(titleBar), "btnMaximise");
    btnMaximise->setIcon(icon("maximise"));
    btnClose = Named(new QToolButton(titleBar), "btnClose");
    btnClose->setIcon(icon("close"));
    for (QToolButton* b : {btnMenu, btnMinimise, btnMaximise, btnClose}) {
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::StrongFocus);
    }
    bar->addWidget(logo);
    bar->addWidget(lblProductName);
    bar->addWidget(lblVersion);
    bar->addStretch();
    bar->addWidget(lblDisplayname);
    bar->addSpacing(16);
    bar->addWidget(btnMenu);
    bar->addWidget(btnMinimise);
    bar->addWidget(btnMaximise);
    bar->addWidget(btnClose);
    connect(btnMenu, &QToolButton::clicked, this, [this] { MenuPressed(); });
    connect(btnMinimise, &QToolButton::clicked, this, [this] { Hide(); });
    connect(btnMaximise, &QToolButton::clicked, this, [this] { toggleMaximised(); });
    connect(btnClose, &QToolButton::clicked, this, [this] {
        if (!shutdown_)
            close();
        else if (mayCloseDuringScan())
            shutdown_->OnTerminate();
    });
}

bool MainMenu::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress)
        if (auto* entry = qobject_cast<QPushButton*>(watched); entry && entry->parentWidget() == boxMenu)
            if (menuKey(entry, static_cast<QKeyEvent*>(event))) return true;
    if (watched == titleBar) {
        if (event->type() == QEvent::MouseButtonDblClick &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            dragging_ = false;
            toggleMaximised();
            return true;
        }
        if (event->type() == QEvent::MouseButtonPress) {
            auto* press = static_cast<QMouseEvent*>(event);
            if (press->button() == Qt::LeftButton) {
                // The platform moves the window where it can; otherwise we follow the pointer.
                if (windowHandle() && windowHandle()->startSystemMove()) return true;
                dragging_ = true;
                dragOffset_ = press->globalPosition().toPoint() - frameGeometry().topLeft();
                return true;
            }
        } else if (event->type() == QEvent::MouseMove && dragging_) {
            move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - dragOffset_);
            return true;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            dragging_ = false;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainMenu::Hide() {
    hideMenus();
    showMinimized();
}

void MainMenu::HideOthers() {
    hideMenus();
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != this && window->isWindow() && window->isVisible() && !window->isMinimized() &&
            !qobject_cast<QMenu*>(window) && window->windowType() != Qt::ToolTip &&
            window->windowType() != Qt::Popup)
            window->showMinimized();
}

void MainMenu::toggleMaximised() {
    hideMenus();
    if (isMaximized())
        showNormal();
    else
        showMaximized();
}

Qt::Edges MainMenu::resizeEdgesAt(const QSize& size, const QPoint& at, int margin) {
    Qt::Edges edges;
    if (at.x() < 0 || at.y() < 0 || at.x() >= size.width() || at.y() >= size.height()) return edges;
    if (at.x() < margin) edges |= Qt::LeftEdge;
    if (at.x() >= size.width() - margin) edges |= Qt::RightEdge;
    if (at.y() < margin) edges |= Qt::TopEdge;
    if (at.y() >= size.height() - margin) edges |= Qt::BottomEdge;
    return edges;
}

namespace {

Qt::CursorShape ResizeCursor(Qt::Edges edges) {
    const bool left = edges & Qt::LeftEdge, right = edges & Qt::RightEdge;
    const bool top = edges & Qt::TopEdge, bottom = edges & Qt::BottomEdge;
    if ((left && top) || (right && bottom)) return Qt::SizeFDiagCursor;
    if ((right && top) || (left && bottom)) return Qt::SizeBDiagCursor;
    if (left || right) return Qt::SizeHorCursor;
    if (top || bottom) return Qt::SizeVerCursor;
    return Qt::ArrowCursor;
}

}  // namespace

void MainMenu::mousePressEvent(QMouseEvent* event) {
    hideMenus();
    const Qt::Edges edges =
        isMaximized() ? Qt::Edges() : resizeEdgesAt(size(), event->position().toPoint(), kResizeMargin);
    if (event->button() == Qt::LeftButton && edges) {
        // The platform resizes the window where it can; otherwise the window follows the pointer.
        if (windowHandle() && windowHandle()->startSystemResize(edges)) return;
        resizing_ = edges;
        resizeStart_ = event->globalPosition().toPoint();
        resizeGeometry_ = geometry();
        return;
    }
    QWidget::mousePressEvent(event);
}

void MainMenu::mouseMoveEvent(QMouseEvent* event) {
    if (resizing_) {
        const QPoint moved = event->globalPosition().toPoint() - resizeStart_;
        QRect to = resizeGeometry_;
        const QSize least = minimumSize();
        if (resizing_ & Qt::LeftEdge) to.setLeft(std::min(to.left() + moved.x(), to.right() - least.width() + 1));
        if (resizing_ & Qt::RightEdge) to.setRight(std::max(to.right() + moved.x(), to.left() + least.width() - 1));
        if (resizing_ & Qt::TopEdge) to.setTop(std::min(to.top() + moved.y(), to.bottom() - least.height() + 1));
        if (resizing_ & Qt::BottomEdge)
            to.setBottom(std::max(to.bottom() + moved.y(), to.top() + least.height() - 1));
        setGeometry(to);
        return;
    }
    const Qt::Edges edges =
        isMaximized() ? Qt::Edges() : resizeEdgesAt(size(), event->position().toPoint(), kResizeMargin);
    if (edges)
        setCursor(ResizeCursor(edges));
    else
        unsetCursor();
    QWidget::mouseMoveEvent(event);
}

void MainMenu::mouseReleaseEvent(QMouseEvent* event) {
    resizing_ = {};
    QWidget::mouseReleaseEvent(event);
}

void MainMenu::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    // A maximised window has no edges to drag, and its button offers the size before.
    const int margin = isMaximized() ? 0 : kResizeMargin;
    layout()->setContentsMargins(margin, margin, margin, margin);
    btnMaximise->setIcon(icon(isMaximized() ? "restore" : "maximise"));
}

void MainMenu::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    hideMenus();
}

void MainMenu::closeEvent(QCloseEvent* event) {
    // The platform's quit request (a window manager's close, the session ending). During a
    // scan it asks first, as the stop button does.
    if (!mayCloseDuringScan()) {
        event->ignore();
        return;
    }
    if (shutdown_) shutdown_->handleQuitEvent();
    event->accept();
}

bool MainMenu::mayCloseDuringScan() {
    if (!core_ || !core_->scanWorker().isRunning()) return true;
    return askToStopScanning();
}
