#pragma once
// The address columns List1 and List2: a list view over the compile's Listing, read row by row
// as the view paints, so a listing of any length costs the same to show.

#include <QAbstractListModel>
#include <QListView>

#include "assembler/compile.h"

namespace orvo::ide {

class ListingModel : public QAbstractListModel {
 public:
  enum class Column { Decimal, Hex };  // List1_Item, List2_Item
  ListingModel(Column column, QObject* parent);

  // Shows the listing's addresses (none while it has none), each row row_height pixels tall.
  // The listing must stay alive and unchanged until the next Show or Clear.
  void Show(const Listing& listing, int row_height);
  void Clear();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  Column column_;
  const Listing* listing_ = nullptr;
  int rows_ = 0;
  int row_height_ = 0;
};

class ListingView : public QListView {
 public:
  ListingView(ListingModel::Column column, QWidget* parent);
  ListingModel* Model() const { return model_; }

  // The surface of a list of items, for callers that read rows as items.
  class Row {
   public:
    Row(const ListingView* view, int row) : view_(view), row_(row) {}
    QString text() const;
    int Number() const { return row_; }
    const Row* operator->() const { return this; }

   private:
    const ListingView* view_;
    int row_;
  };
  int count() const { return model_->rowCount(); }
  Row item(int row) const { return Row(this, row); }
  QRect visualItemRect(const Row& row) const { return visualRect(model_->index(row.Number())); }

 private:
  ListingModel* model_;
};

}  // namespace orvo::ide
