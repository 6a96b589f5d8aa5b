#include "ide/listing_view.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <limits>
#include <string>

#include "ide/text_convert.h"

namespace orvo::ide {
namespace {

QString Latin1(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

// Characters a source line takes on screen; a TAB is counted at its widest.
std::size_t Shown_Length(std::string_view line) {
  return line.size() + 7 * static_cast<std::size_t>(std::count(line.begin(), line.end(), '\t'));
}

}  // namespace

ListingModel::ListingModel(Column column, QObject* parent) : QAbstractListModel(parent), column_(column) {}

void ListingModel::Show(const Listing& listing, int row_height, int char_width) {
  beginResetModel();
  listing_ = &listing;
  std::size_t rows = 0;
  std::size_t widest = 0;
  switch (column_) {
    case Column::Decimal:
    case Column::Hex:
      // One column wide: the view stretches its rows to its own width.
      rows = listing.Has_Addresses() ? listing.Line_Count() : 0;
      break;
    case Column::Bytes:
      rows = listing.Has_Addresses() ? listing.Line_Count() : 0;
      for (std::size_t i = 0; i < rows; ++i) widest = std::max(widest, listing.Hex_Entry(i).size());
      break;
    case Column::Chars:
      rows = listing.Raw_Bytes_Rows();
      for (std::size_t i = 0; i < rows; ++i) widest = std::max(widest, listing.Raw_Bytes(i).size());
      break;
    case Column::PreCode:
      // Every row ends with a line break, so an empty row follows the last one.
      rows = listing.PreCode_Rows() > 0 ? listing.PreCode_Rows() + 1 : 0;
      for (std::size_t i = 0; i < listing.PreCode_Rows(); ++i)
        widest = std::max(widest, Shown_Length(listing.PreCode_Line(i)));
      break;
  }
  // A view addresses rows by int: a count beyond that must not wrap.
  constexpr auto kMaxRows = static_cast<std::size_t>(std::numeric_limits<int>::max());
  rows_ = static_cast<int>(std::min(rows, kMaxRows));
  row_height_ = row_height;
  row_width_ = static_cast<int>(std::min<std::size_t>(widest, 1 << 20)) * char_width + char_width;
  endResetModel();
}

void ListingModel::Clear() {
  if (listing_ == nullptr && rows_ == 0) return;
  beginResetModel();
  listing_ = nullptr;
  rows_ = 0;
  row_width_ = 0;
  endResetModel();
}

void ListingModel::Set_Min_Rows(int rows, int row_height) {
  if (rows == min_rows_ && row_height == row_height_) return;
  beginResetModel();
  min_rows_ = rows;
  row_height_ = row_height;
  endResetModel();
}

int ListingModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : std::max(rows_, min_rows_);
}

QString ListingModel::Row_Text(int row) const {
  if (listing_ == nullptr || row < 0 || row >= rows_) return {};
  const auto i = static_cast<std::size_t>(row);
  switch (column_) {
    case Column::Decimal:
      return Latin1(listing_->Address_Decimal(i));
    case Column::Hex:
      return Latin1(listing_->Address_Hex(i));
    case Column::Bytes:
      return Latin1(listing_->Hex_Entry(i));
    case Column::Chars:
      return To_CharColumn(listing_->Raw_Bytes(i));
    case Column::PreCode:
      return i < listing_->PreCode_Rows() ? To_EditorString(listing_->PreCode_Line(i)) : QString();
  }
  return {};
}

QVariant ListingModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  switch (role) {
    case Qt::DisplayRole:
      return Row_Text(index.row());
    case Qt::SizeHintRole:
      return QSize(row_width_, row_height_ > 0 ? row_height_ : 1);
    default:
      return {};
  }
}

ListingView::ListingView(ListingModel::Column column, QWidget* parent)
    : QListView(parent), model_(new ListingModel(column, this)) {
  setModel(model_);
  // Every row is as tall as an editor line: the view lays rows out without asking each one.
  setUniformItemSizes(true);
  setLayoutMode(QListView::SinglePass);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setTextElideMode(Qt::ElideNone);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  connect(model_, &QAbstractItemModel::modelReset, this, [this] { document_.reset(); });
}

ListingView::~ListingView() = default;

void ListingView::Show(const Listing& listing, int row_height) {
  model_->Show(listing, row_height, fontMetrics().horizontalAdvance(QLatin1Char('0')));
  // Lay the rows out now, so the scroll range is there before the next event.
  doItemsLayout();
}

QTextDocument* ListingView::document() const {
  if (!document_) {
    QString text;
    for (int row = 0; row < model_->Data_Rows(); ++row) {
      if (row > 0) text.append(QChar('\n'));
      text.append(model_->Row_Text(row));
    }
    document_ = std::make_unique<QTextDocument>();
    document_->setPlainText(text);
  }
  return document_.get();
}

QRect ListingView::cursorRect(const QTextCursor& cursor) const {
  return visualRect(model_->index(cursor.block().blockNumber()));
}

void ListingView::keyPressEvent(QKeyEvent* event) {
  // Copy takes every selected row, in order, one per line.
  if (event == QKeySequence::Copy) {
    Copy_Selection();
    event->accept();
    return;
  }
  QListView::keyPressEvent(event);
}

void ListingView::Copy_Selection() const {
  QModelIndexList rows = selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  QString text;
  for (qsizetype k = 0; k < rows.size(); ++k) {
    if (k > 0) text.append(QChar('\n'));
    text.append(model_->Row_Text(rows[k].row()));
  }
  if (!rows.isEmpty()) QApplication::clipboard()->setText(text);
}

}  // namespace orvo::ide
