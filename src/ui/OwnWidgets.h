#pragma once

#include <QIcon>
#include <QLabel>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QToolButton>

#include <functional>
#include <vector>

// The hover label of an icon control: a small grey label with a grey border.
class TooltipView : public QWidget {
public:
    TooltipView(const QRect& frame, QWidget* parent);
    // Builds the content from str: the label inside, 10 points, centred.
    void init();
    QString str;
    QLabel* tooltipstr = nullptr;
};

// The image button of the data-type icon bar. It draws the picture of its state (selected,
// default, disabled, and the hover picture while the pointer is over it when enabled) and
// colours its caption to match; while the pointer is over an enabled button a hover label
// "<data type> available" shows in the parent view.
class SMNSbutton : public QToolButton {
    Q_OBJECT
public:
    explicit SMNSbutton(QWidget* parent = nullptr);

    bool isSelected = false;
    QString defaultImage, hoverImage, selectedImage, disableImage;
    QString tooltipString;
    QPointer<QLabel> textField;
    QPointer<TooltipView> tooltipview;
    QPointer<QWidget> parentview;
    // The text of the WhatsApp caption, whose hover label sits left of the button.
    QString whatsAppText;
    // Resolves an image name to the icon drawn.
    std::function<QIcon(const QString&)> imageForName;

    void setIsSelected(bool selected) { isSelected = selected; }
    // Tracks the pointer and sets the ordinary tool tip.
    void addHoverEventForButton();
    // Shows the picture and the caption colour of the state.
    void refreshButtonView();
    // What refreshButtonView shows: "selected", "default" or "disabled".
    QString stateName() const;

    static const QColor kHoverCaption;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

public:
    void mouseEntered();
    void mouseExited();

private:
    void showImage(const QString& name);
    void colourCaption(const QColor& colour);
    bool tracking_ = false;
};

// A label whose text stands in the vertical middle of its frame.
class MiddleAlignedTextFieldCell : public QLabel {
public:
    explicit MiddleAlignedTextFieldCell(QWidget* parent = nullptr);
    // The title's rectangle in the bounds for a text of the height: the base rectangle moved to
    // bounds.y - 0.5 + (bounds.height - textHeight) / 2.
    static QRectF titleRectForBounds(const QRectF& bounds, const QRectF& baseTitleRect,
                                     double textHeight);
};

// A clickable link text: the whole text links to the address, blue and underlined (rich text
// for a label that opens its links).
QString hyperlinkFromString(const QString& text, const QString& address);

// Enables or disables the controls inside a view, at any depth. The filter picks which; the
// whole tree is visited whatever it says of a view.
namespace DisableSubviews {
using Filter = std::function<bool(QWidget*)>;
void disableSubviews(QWidget* view, bool disable, const Filter& filter);
void disableSubviews(QWidget* view, bool disable);
// Controls whose tag (the "tag" property) t satisfies location <= t < location + length.
void disableSubviewsInTagRange(QWidget* view, bool disable, int location, int length);
void disableSubviewsStartTag(QWidget* view, bool disable, int start, int end);
void disableSubviewsWithTags(QWidget* view, bool disable, const std::vector<int>& tags);
template <class Type>
void disableSubviewsOfType(QWidget* view, bool disable) {
    disableSubviews(view, disable, [](QWidget* w) { return qobject_cast<Type*>(w) != nullptr; });
}
// The filters of the tag forms: a tag in the range, a tag in the list.
Filter InTagRange(int location, int length);
Filter WithTags(std::vector<int> tags);
// Controls of the type (or a subclass) whose tag is in the range, or in the list.
template <class Type>
void disableSubviewsOfTypeInTagRange(QWidget* view, bool disable, int location, int length) {
    disableSubviews(view, disable, [inRange = InTagRange(location, length)](QWidget* w) {
        return qobject_cast<Type*>(w) != nullptr && inRange(w);
    });
}
template <class Type>
void disableSubviewsOfTypeWithTags(QWidget* view, bool disable, const std::vector<int>& tags) {
    disableSubviews(view, disable, [listed = WithTags(tags)](QWidget* w) {
        return qobject_cast<Type*>(w) != nullptr && listed(w);
    });
}
}  // namespace DisableSubviews
