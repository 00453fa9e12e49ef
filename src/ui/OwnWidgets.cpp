#include "ui/OwnWidgets.h"

#include "config/LanguageConfig.h"

#include <QEnterEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QStyle>

#include <algorithm>

const QColor SMNSbutton::kHoverCaption(43, 160, 225);

TooltipView::TooltipView(const QRect& frame, QWidget* parent) : QWidget(parent) {
    setGeometry(frame);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TooltipView::init() {
    tooltipstr = new QLabel(str, this);
    tooltipstr->setGeometry(0, 0, width(), height());
    QFont font = tooltipstr->font();
    font.setPointSizeF(10);
    tooltipstr->setFont(font);
    tooltipstr->setAlignment(Qt::AlignCenter);
    tooltipstr->setAutoFillBackground(true);
    tooltipstr->setStyleSheet(
        QStringLiteral("background-color: rgb(204, 206, 209); color: black; border: 1px solid gray;"));
}

SMNSbutton::SMNSbutton(QWidget* parent) : QToolButton(parent) {
    setAutoRaise(true);
    setFocusPolicy(Qt::StrongFocus);
    setIconSize(QSize(44, 44));
    setCursor(Qt::PointingHandCursor);
}

void SMNSbutton::addHoverEventForButton() {
    tracking_ = true;
    setAttribute(Qt::WA_Hover);
    setToolTip(tooltipString);
}

QString SMNSbutton::stateName() const {
    if (!isEnabled()) return QStringLiteral("disabled");
    return isSelected ? QStringLiteral("selected") : QStringLiteral("default");
}

void SMNSbutton::showImage(const QString& name) {
    if (imageForName) setIcon(imageForName(name));
    setProperty("image", name);
}

void SMNSbutton::colourCaption(const QColor& colour) {
    if (!textField) return;
    QPalette palette = textField->palette();
    palette.setColor(QPalette::WindowText, colour);
    textField->setPalette(palette);
    textField->setStyleSheet(QStringLiteral("color: %1;").arg(colour.name()));
}

void SMNSbutton::refreshButtonView() {
    const QString state = stateName();
    if (state == QLatin1String("selected")) {
        showImage(selectedImage);
        colourCaption(QColor(Qt::green).darker(110));
    } else if (state == QLatin1String("default")) {
        showImage(defaultImage);
        colourCaption(Qt::white);
    } else {
        showImage(disableImage);
        colourCaption(Qt::gray);
    }
    setProperty("tabState", state);
    style()->unpolish(this);
    style()->polish(this);
}

void SMNSbutton::mouseEntered() {
    if (tooltipview) return;
    if (!isEnabled()) return;
    QWidget* host = parentview ? parentview.data() : parentWidget();
    if (!host) return;
    const QPoint inHost = host->isAncestorOf(this) ? mapTo(host, QPoint(0, 0)) : geometry().topLeft();
    QRect frame = tooltipString == whatsAppText && !whatsAppText.isEmpty()
                      ? QRect(inHost.x() - 15, inHost.y() + 25, 110, 21)
                      : QRect(inHost.x() + 25, inHost.y() + 25, 113, 21);
    const QString text = QString::fromStdString(FillPlaceholders(
        LanguageConfig::sharedObject().IconControlAvailable().value_or("{0} available"), {tooltipString.toStdString()}));
    // Wide enough for its text, and inside the window: a label that would pass the host's
    // right edge (the last control of the bar) moves left.
    QFont font = this->font();
    font.setPointSizeF(10);
    frame.setWidth(std::max(frame.width(), QFontMetrics(font).horizontalAdvance(text) + 12));
    if (frame.right() >= host->width()) frame.moveRight(host->width() - 2);
    if (frame.left() < 0) frame.moveLeft(0);
    auto* label = new TooltipView(frame, host);
    label->str = text;
    tooltipview = label;
    showImage(hoverImage);
    colourCaption(kHoverCaption);
    label->init();
    label->show();
    label->raise();
}

void SMNSbutton::mouseExited() {
    if (tooltipview) {
        tooltipview->deleteLater();
        tooltipview->hide();
        tooltipview = nullptr;
    }
    refreshButtonView();
}

void SMNSbutton::enterEvent(QEnterEvent* event) {
    QToolButton::enterEvent(event);
    if (tracking_) mouseEntered();
}

void SMNSbutton::leaveEvent(QEvent* event) {
    QToolButton::leaveEvent(event);
    if (tracking_) mouseExited();
}

void SMNSbutton::changeEvent(QEvent* event) {
    QToolButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange && !isEnabled() && tooltipview) mouseExited();
}

MiddleAlignedTextFieldCell::MiddleAlignedTextFieldCell(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
}

QRectF MiddleAlignedTextFieldCell::titleRectForBounds(const QRectF& bounds,
                                                      const QRectF& baseTitleRect,
                                                      double textHeight) {
    QRectF rect = baseTitleRect;
    rect.moveTop(bounds.y() - 0.5 + (bounds.height() - textHeight) / 2.0);
    return rect;
}

QString hyperlinkFromString(const QString& text, const QString& address) {
    return QStringLiteral("<a href=\"%1\" style=\"color: blue; text-decoration: underline;\">%2</a>")
        .arg(address.toHtmlEscaped(), text.toHtmlEscaped());
}

namespace DisableSubviews {

void disableSubviews(QWidget* view, bool disable, const Filter& filter) {
    if (!view) return;
    for (QObject* child : view->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (!widget) continue;
        disableSubviews(widget, disable, filter);
        // Only controls take the change; a container stays as it is.
        if (widget->focusPolicy() == Qt::NoFocus) continue;
        if (!filter || filter(widget)) widget->setEnabled(!disable);
    }
}

void disableSubviews(QWidget* view, bool disable) {
    disableSubviews(view, disable, Filter{});
}

Filter InTagRange(int location, int length) {
    return [=](QWidget* w) {
        const QVariant tag = w->property("tag");
        if (!tag.isValid()) return false;
        const int t = tag.toInt();
        return t >= location && static_cast<unsigned>(t - location) < static_cast<unsigned>(length);
    };
}

Filter WithTags(std::vector<int> tags) {
    return [tags = std::move(tags)](QWidget* w) {
        const QVariant tag = w->property("tag");
        return tag.isValid() && std::find(tags.begin(), tags.end(), tag.toInt()) != tags.end();
    };
}

void disableSubviewsInTagRange(QWidget* view, bool disable, int location, int length) {
    disableSubviews(view, disable, InTagRange(location, length));
}

void disableSubviewsStartTag(QWidget* view, bool disable, int start, int end) {
    disableSubviewsInTagRange(view, disable, start, end - start + 1);
}

void disableSubviewsWithTags(QWidget* view, bool disable, const std::vector<int>& tags) {
    disableSubviews(view, disable, WithTags(tags));
}

}  // namespace DisableSubviews
