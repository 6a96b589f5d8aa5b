#include "ide/error_list.h"

#include <QHeaderView>
#include <QStyle>

#include "base/message_box.h"

namespace orvo::ide {

ErrorList::ErrorList(QWidget* parent) : QTreeWidget(parent) {
  setObjectName("ErrorList");
  setColumnCount(3);
  setHeaderLabels({"Line", "Box", "Message"});
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setAllColumnsShowFocus(true);
  header()->setStretchLastSection(true);
  // Clicks go to the line; the keyboard stays with the editor after the jump.
  connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { Jump(item); });
  connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { Jump(item); });
}

void ErrorList::Show_Entries(const std::vector<ErrorEntry>& entries) {
  clear();
  const QIcon error_icon = style()->standardIcon(QStyle::SP_MessageBoxCritical);
  const QIcon note_icon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(entries.size()));
  for (const ErrorEntry& entry : entries) {
    // A box's lines (CR between them) read as one row; empty lines between paragraphs go.
    QString text = entry.text;
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts).join(QStringLiteral("  "));
    auto* item = new QTreeWidgetItem(
        {QString::number(entry.line + 1),
         entry.title.isEmpty()
             ? QString::fromLatin1(kAppTitle.data(), static_cast<qsizetype>(kAppTitle.size()))
             : entry.title,
         text});
    item->setData(0, Qt::UserRole, entry.line);
    item->setIcon(0, entry.error ? error_icon : note_icon);
    item->setToolTip(2, entry.text.split(QLatin1Char('\r')).join(QLatin1Char('\n')));
    items << item;
  }
  addTopLevelItems(items);
  for (int column = 0; column < 2; ++column) resizeColumnToContents(column);
}

void ErrorList::Jump(QTreeWidgetItem* item) {
  if (item != nullptr && jump_) jump_(item->data(0, Qt::UserRole).toInt());
}

}  // namespace orvo::ide
