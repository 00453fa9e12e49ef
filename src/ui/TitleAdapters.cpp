#include "ui/TitleAdapters.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>

namespace TitleAdapters {

QString ToQString(const OptString& text) {
    return text ? QString::fromStdString(*text) : QString();
}

QString ToQString(const std::string& text) {
    return QString::fromStdString(text);
}

QColor ToQColor(TitleColor color) {
    return QColor(color.red, color.green, color.blue, color.alpha);
}

void ApplyTitle(QAbstractButton* button, const StyledTitle& title) {
    if (!button) return;
    button->setText(QString::fromStdString(title.text));
    const QColor color = ToQColor(title.color);
    QString sheet = QStringLiteral("color: rgba(%1, %2, %3, %4); font-size: %5pt;")
                        .arg(color.red())
                        .arg(color.green())
                        .arg(color.blue())
                        .arg(color.alpha())
                        .arg(title.pointSize);
    if (title.underline) sheet += QStringLiteral(" text-decoration: underline;");
    if (title.alignment == TitleAlignment::Left) sheet += QStringLiteral(" text-align: left;");
    button->setStyleSheet(sheet);
    button->setProperty("styledTitle", QString::fromStdString(title.text));
}

void ApplyHeaderTitle(QTableWidget* table, int column, const OptString& text) {
    if (!table || column < 0 || column >= table->columnCount()) return;
    QTableWidgetItem* item = table->horizontalHeaderItem(column);
    if (!item) {
        item = new QTableWidgetItem;
        table->setHorizontalHeaderItem(column, item);
    }
    item->setText(ToQString(text));
}

void SetText(QLabel* label, const OptString& text) {
    if (label) label->setText(ToQString(text));
}

void SetPlaceholder(QLineEdit* edit, const OptString& text) {
    if (edit) edit->setPlaceholderText(ToQString(text));
}

}  // namespace TitleAdapters
