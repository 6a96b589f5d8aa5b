#pragma once
// The listing columns beside the editor (addresses, raw bytes, hex, preprocessed source): list
// views over the compile's Listing that read a row only when they paint it, so a listing of
// any length costs the same to show and every row is exactly one editor line tall.

#include <QAbstractListModel>
#include <QListView>
#include <memory>

#include "assembler/compile.h"

class QTextCursor;
class QTextDocument;

namespace orvo::ide {

class ListingModel : public QAbstractListModel {
 public:
  enum class Column {
    Decimal,  // List1: address in decimal
    Hex,      // List2: address in hexadecimal
    Bytes,    // Text3: the code bytes in the view form
    Chars,    // Text2: the pass-2 bytes as characters
    PreCode,  // TxtPreCode: the preprocessed source
  };
  ListingModel(Column column, QObject* parent);

  // Shows the listing: rows row_height pixels tall, wide enough for the longest row in a face
  // of char_width pixels per character. The listing must stay unchanged until the next Show or
  // Clear.
  void Show(const Listing& listing, int row_height, int char_width);
  void Clear();
  // Empty rows after the listing's own up to this count, so the column scrolls as far as the
  // editor and stays level with it past the listing's end; rows row_height pixels tall.
  void Set_Min_Rows(int rows, int row_height);
  int Data_Rows() const { return rows_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QString Row_Text(int row) const;

 private:
  Column column_;
  const Listing* listing_ = nullptr;
  int rows_ = 0;
  int min_rows_ = 0;
  int row_height_ = 0;
  int row_width_ = 0;
};

class ListingView : public QListView {
 public:
  ListingView(ListingModel::Column column, QWidget* parent);
  ~ListingView() override;
  ListingModel* Model() const { return model_; }
  void Show(const Listing& listing, int row_height);
  void Clear() { model_->Clear(); }
  void Set_Min_Rows(int rows, int row_height) { model_->Set_Min_Rows(rows, row_height); }
  // Empty space below the rows as tall as a horizontal scroll bar, for a column that has none
  // beside one that has: both then show the same number of rows.
  void Reserve_Bottom(int pixels) { setViewportMargins(0, 0, 0, pixels); }
  // Copies the selected rows, in order, one per line.
  void Copy_Selection() const;

  // The rows as a list of items, for callers that read rows as items.
  class Row {
   public:
    Row(const ListingView* view, int row) : view_(view), row_(row) {}
    QString text() const { return view_->model_->Row_Text(row_); }
    int Number() const { return row_; }
    const Row* operator->() const { return this; }

   private:
    const ListingView* view_;
    int row_;
  };
  int count() const { return model_->Data_Rows(); }
  Row item(int row) const { return Row(this, row); }
  QRect visualItemRect(const Row& row) const { return visualRect(model_->index(row.Number())); }

  // The rows as a text document, one block per row, for callers that read a column as text.
  // Built on first use after a change, never while showing.
  QTextDocument* document() const;
  // Where the block of cursor is drawn, in viewport coordinates.
  QRect cursorRect(const QTextCursor& cursor) const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  ListingModel* model_;
  mutable std::unique_ptr<QTextDocument> document_;
};

}  // namespace orvo::ide
