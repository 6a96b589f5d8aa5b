#include "ide/qt/listing_view.h"

#include <QSize>
#include <algorithm>
#include <limits>
#include <string>

namespace orvo::ide {

ListingModel::ListingModel(Column column, QObject* parent) : QAbstractListModel(parent), column_(column) {}

void ListingModel::Show(const Listing& listing, int row_height) {
  beginResetModel();
  listing_ = &listing;
  // A view addresses rows by int; a listing never comes near that, but a bad count must not wrap.
  const std::size_t lines = listing.Has_Addresses() ? listing.Line_Count() : 0;
  rows_ = static_cast<int>(std::min<std::size_t>(lines, std::numeric_limits<int>::max()));
  row_height_ = row_height;
  endResetModel();
}

void ListingModel::Clear() {
  beginResetModel();
  listing_ = nullptr;
  rows_ = 0;
  endResetModel();
}

int ListingModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

QVariant ListingModel::data(const QModelIndex& index, int role) const {
  if (listing_ == nullptr || !index.isValid() || index.row() >= rows_) return {};
  const auto row = static_cast<std::size_t>(index.row());
  switch (role) {
    case Qt::DisplayRole: {
      const std::string text = column_ == Column::Decimal ? listing_->List1_Item(row) : listing_->List2_Item(row);
      return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    }
    case Qt::SizeHintRole:
      return QSize(0, row_height_);
    default:
      return {};
  }
}

ListingView::ListingView(ListingModel::Column column, QWidget* parent)
    : QListView(parent), model_(new ListingModel(column, this)) {
  setModel(model_);
  // Every row is as tall as an editor line: the view lays out rows without asking each one.
  setUniformItemSizes(true);
  setLayoutMode(QListView::SinglePass);
}

QString ListingView::Row::text() const {
  return view_->model_->data(view_->model_->index(row_), Qt::DisplayRole).toString();
}

}  // namespace orvo::ide
