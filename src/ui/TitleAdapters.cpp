#include "ui/TitleAdapters.h"

#include <QAbstractButton>
#include <QFont>
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
    // A title padded with leading blanks keeps them in the stored title ("styledTitle"); the
    // button shows its words alone, centred on them like every other title.
    const QString stored = QString::fromStdString(title.text);
    qsizetype blanks = 0;
    while (blanks < stored.size() && stored[blanks] == QLatin1Char(' ')) ++blanks;
    const bool padded = blanks > 0;
    button->setText(stored.mid(blanks));
    const QColor color = ToQColor(title.color);
    QString sheet = QStringLiteral("color: rgba(%1, %2, %3, %4); font-size: %5pt;")
                        .arg(color.red())
                        .arg(color.green())
                        .arg(color.blue())
                        .arg(color.alpha())
                        .arg(title.pointSize);
    if (title.underline) sheet += QStringLiteral(" text-decoration: underline;");
    if (title.alignment == TitleAlignment::Left && !padded) sheet += QStringLiteral(" text-align: left;");
    button->setStyleSheet(sheet);
    button->setProperty("styledTitle", stored);
}

void SizeAsSentence(QAbstractButton* link, QWidget* sentence) {
    if (!link || !sentence) return;
    sentence->ensurePolished();
    const QFont font = sentence->font();
    const QString size = font.pointSizeF() > 0 ? QStringLiteral("%1pt").arg(font.pointSizeF())
                                               : QStringLiteral("%1px").arg(font.pixelSize());
    // The title's own size gives way; its colour and underline stay.
    QStringList kept;
    for (const QString& rule : link->styleSheet().split(QLatin1Char(';'), Qt::SkipEmptyParts))
        if (!rule.trimmed().startsWith(QLatin1String("font-size"))) kept << rule.trimmed();
    kept << QStringLiteral("font-size: %1").arg(size);
    link->setStyleSheet(kept.join(QStringLiteral("; ")) + QLatin1Char(';'));
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
