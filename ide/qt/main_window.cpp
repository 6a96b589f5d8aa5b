#include "ide/qt/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "ide/file_access.h"
#include "ide/message_box.h"
#include "ide/qt/code_editor.h"
#include "ide/qt/help_viewer.h"
#include "ide/qt/listing_view.h"
#include "ide/qt/text_convert.h"
#include "ide/source_files.h"
#include "output/view.h"

#if defined(ORVO_HAVE_RUN)
#include "output/run/run_engine.h"
#endif
#if __has_include("output/export.h")
#include "output/export.h"
#define ORVO_HAVE_EXPORT 1
#else
#define ORVO_HAVE_EXPORT 0
#endif

namespace orvo {
#if !defined(ORVO_HAVE_RUN)
// Without the emulator the window still builds; RUN then explains itself.
class RunEngine {};
#endif
}  // namespace orvo

namespace orvo::ide {

const std::string_view kDefaultSource =
    "REM MSGBOX\r\n"
    "Const Arg1 EQU [ebp+8]\r\n"
    "Const Arg2 EQU [ebp+12]\r\n"
    "PUSHAD\r\n"
    "PUSH Arg2\r\n"
    "CALL Arg1\r\n"
    "POPAD\r\n"
    "MOV EAX,&B1111\r\n";

namespace {

enum class Kind { Editor, TextBoth, TextPlain, Label, List, Button, Field, Check };

struct ControlRow {
  const char* name;
  Kind kind;
  const char* caption;
  int left, top, width, height;  // twips, relative to the client area
};

// The controls in tab order.
// clang-format off
constexpr ControlRow kControls[] = {
    // name          kind             caption                    left   top  width height
    {"Text1",       Kind::Editor,    "",                        1560,  240, 2895, 6015},
    {"Text2",       Kind::TextPlain, "",                        4560,  240,  735, 5775},
    {"Label7",      Kind::Label,     "Editor",                  1560,    0, 2895,  255},
    {"Text3",       Kind::TextBoth,  "",                        5400,  240, 1815, 6015},
    {"Label8",      Kind::Label,     "HEX",                     5400,    0, 1815,  255},
    {"Label9",      Kind::Label,     "Char",                    4560,    0,  735,  255},
    {"List1",       Kind::List,      "",                           0,  240,  735, 5715},
    {"List2",       Kind::List,      "",                         720,  240,  735, 5715},
    {"Label1",      Kind::Label,     "Addr",                       0,    0, 1455,  255},
    {"Command2",    Kind::Button,    "Help",                     855, 5985,  615,  255},
    {"Command3",    Kind::Button,    "RUN",                     4560, 6000,  735,  255},
    {"Text4",       Kind::Field,     "0",                        840, 6240,  975,  285},
    {"Label2",      Kind::Label,     "Arguments",                 30, 6285,  855,  255},
    {"Text5",       Kind::Field,     "0",                       1800, 6240,  975,  285},
    {"Text6",       Kind::Field,     "0",                       2760, 6240,  975,  285},
    {"Text7",       Kind::Field,     "0",                       3720, 6240,  975,  285},
    {"Command1",    Kind::Button,    "Compile",                    0, 5985,  855,  255},
    {"TxtPreCode",  Kind::TextBoth,  "",                        7320,  240, 1935, 6015},
    {"Label3",      Kind::Label,     "CONST/REM free",          7320,    0, 1935,  255},
    {"CheckStack",  Kind::Check,     "Auto save/restore stack", 7200, 6300, 2055,  195},
    {"CmdOpen",     Kind::Button,    "Open",                    4800, 6270,  615,  255},
    {"CmdSave",     Kind::Button,    "Save",                    5400, 6270,  615,  255},
    {"Command4",    Kind::Button,    "Export",                  6120, 6270,  855,  255},
};

// Columns that take the extra width when the window grows, with their share of it.
struct Stretch { int from, to; double share; };
constexpr Stretch kStretchX[] = {
    {1560, 4455, 0.50},  // editor
    {5400, 7215, 0.20},  // hex
    {7320, 9255, 0.30},  // preprocessed source
};
// clang-format on

// The rows between the headings and the buttons take the extra height.
constexpr int kStretchTop = 240;
constexpr int kStretchBottom = 5985;
// Controls at least this tall are columns that grow with the window.
constexpr int kColumnHeight = 3000;

QString Qs(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

QPlainTextEdit* Make_Column(QWidget* parent, bool scroll_bars) {
  auto* edit = new QPlainTextEdit(parent);
  edit->setReadOnly(true);
  edit->setLineWrapMode(QPlainTextEdit::NoWrap);
  edit->document()->setDocumentMargin(0);
  edit->document()->setUndoRedoEnabled(false);  // read-only: nothing to undo, no history to keep
  const auto policy = scroll_bars ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
  edit->setVerticalScrollBarPolicy(policy);
  edit->setHorizontalScrollBarPolicy(policy);
  return edit;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent), chooser_(&qt_chooser_) {
  setObjectName("ORVOIDE");
  setWindowTitle("IDE: Corvane");
#if defined(ORVO_HAVE_RUN)
  engine_ = std::make_unique<RunEngine>();
#endif
  if (const QScreen* s = screen()) scale_ = s->logicalDotsPerInchY() / kTwipsPerInch;
  Build_Controls();
  help_ = new HelpViewer(this);
  help_->setWindowFlag(Qt::Window);

  const QSize base(static_cast<int>(std::lround(kClientTwipsWidth * scale_)),
                   static_cast<int>(std::lround(kClientTwipsHeight * scale_)));
  setMinimumSize(base);
  resize(base);
  Place_Controls();
  Form_Load();
}

MainWindow::~MainWindow() = default;

void MainWindow::Build_Controls() {
  QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  mono.setPointSize(9);
  mono.setStretch(QFont::Unstretched);  // set, so the window's condensed face is not inherited
  // The table's captions were laid out for a narrow 8-point face; a condensed face fits them.
  QFont ui = font();
  ui.setPointSize(8);
  ui.setStretch(QFont::Condensed);
  setFont(ui);

  QWidget* previous = nullptr;
  for (const ControlRow& row : kControls) {
    QWidget* w = nullptr;
    switch (row.kind) {
      case Kind::Editor: {
        text1_ = new CodeEditor(this);
        text1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        text1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        text1_->setFont(mono);
        text1_->setTabChangesFocus(false);
        w = text1_;
        break;
      }
      case Kind::TextBoth:
      case Kind::TextPlain: {
        const std::string_view name = row.name;
        const auto column = name == "Text2"   ? ListingModel::Column::Chars
                            : name == "Text3" ? ListingModel::Column::Bytes
                                              : ListingModel::Column::PreCode;
        auto* view = new ListingView(column, this);
        view->setFont(mono);
        const auto policy = row.kind == Kind::TextBoth ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
        view->setVerticalScrollBarPolicy(policy);
        view->setHorizontalScrollBarPolicy(policy);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        (column == ListingModel::Column::Chars   ? text2_
         : column == ListingModel::Column::Bytes ? text3_
                                                 : pre_code_) = view;
        w = view;
        break;
      }
      case Kind::Label: {
        auto* label = new QLabel(row.caption, this);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        w = label;
        break;
      }
      case Kind::List: {
        const bool decimal = std::string_view(row.name) == "List1";
        auto* list =
            new ListingView(decimal ? ListingModel::Column::Decimal : ListingModel::Column::Hex, this);
        list->setFont(mono);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        (decimal ? list1_ : list2_) = list;
        w = list;
        break;
      }
      case Kind::Button: {
        auto* button = new QPushButton(row.caption, this);
        button->setAutoDefault(false);
        const std::string_view name = row.name;
        if (name == "Command1")
          command1_ = button;
        else if (name == "Command2")
          command2_ = button;
        else if (name == "Command3")
          command3_ = button;
        else if (name == "Command4")
          command4_ = button;
        else if (name == "CmdOpen")
          cmd_open_ = button;
        else
          cmd_save_ = button;
        w = button;
        break;
      }
      case Kind::Field: {
        auto* field = new QLineEdit(row.caption, this);
        args_[row.name[4] - '4'] = field;
        w = field;
        break;
      }
      case Kind::Check: {
        check_stack_ = new QCheckBox(row.caption, this);
        w = check_stack_;
        break;
      }
    }
    w->setObjectName(row.name);
    placed_.push_back({w, row.left, row.top, row.width, row.height});
    if (w->focusPolicy() != Qt::NoFocus) {
      if (previous != nullptr) setTabOrder(previous, w);
      previous = w;
    }
  }

  command3_->setEnabled(false);
  // The default source reads its arguments through EBP and ends without RET: it needs the frame.
  check_stack_->setChecked(true);
  check_stack_->setToolTip("See STUB_MakeCaller function");
  text1_->setPlainText(To_EditorString(kDefaultSource));

  connect(text1_->document(), &QTextDocument::contentsChange, this, [this](int, int removed, int added) {
    if (removed != 0 || added != 0) Text1_Change();
  });
  connect(command1_, &QPushButton::clicked, this, &MainWindow::Command1_Click);
  connect(command2_, &QPushButton::clicked, this, &MainWindow::Command2_Click);
  connect(command3_, &QPushButton::clicked, this, &MainWindow::Command3_Click);
  connect(command4_, &QPushButton::clicked, this, &MainWindow::Command4_Click);
  connect(cmd_open_, &QPushButton::clicked, this, &MainWindow::CmdOpen_Click);
  connect(cmd_save_, &QPushButton::clicked, this, &MainWindow::CmdSave_Click);

  // Keyboard shortcuts: the buttons' own clicks, so a disabled RUN stays disabled.
  const std::pair<QKeySequence, QPushButton*> keys[] = {
      {QKeySequence(Qt::Key_F5), command1_},           {QKeySequence(Qt::CTRL | Qt::Key_B), command1_},
      {QKeySequence(Qt::Key_F9), command3_},           {QKeySequence(Qt::CTRL | Qt::Key_R), command3_},
      {QKeySequence(Qt::Key_F1), command2_},           {QKeySequence(Qt::CTRL | Qt::Key_O), cmd_open_},
      {QKeySequence(Qt::CTRL | Qt::Key_S), cmd_save_}, {QKeySequence(Qt::CTRL | Qt::Key_E), command4_},
  };
  for (const auto& [key, button] : keys) {
    auto* shortcut = new QShortcut(key, this);
    connect(shortcut, &QShortcut::activated, button, [button] {
      if (button->isEnabled()) button->click();
    });
  }

  // The register view after RUN: a small window of its own, so the table's layout stays as is.
  auto* view = new QDialog(this);
  view->setObjectName("RegisterView");
  view->setWindowTitle("Registers after RUN");
  registers_ = Make_Column(view, false);
  registers_->setObjectName("Registers");
  registers_->setFont(mono);
  registers_->document()->setDocumentMargin(6);
  auto* layout = new QVBoxLayout(view);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(registers_);

  Sync_Scrolling();
}

void MainWindow::Sync_Scrolling() {
  // Every column scrolls by whole rows, so one row number keeps them aligned.
  const std::vector<QAbstractScrollArea*> columns = {text1_, list1_, list2_, text2_, text3_, pre_code_};
  for (QAbstractScrollArea* source : columns) {
    connect(source->verticalScrollBar(), &QScrollBar::valueChanged, this, [this, columns, source](int value) {
      if (syncing_) return;
      syncing_ = true;
      for (QAbstractScrollArea* other : columns)
        if (other != source) other->verticalScrollBar()->setValue(value);
      syncing_ = false;
    });
  }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Place_Controls();
}

void MainWindow::Place_Controls() {
  const double k = scale_;
  const double base_w = kClientTwipsWidth * k, base_h = kClientTwipsHeight * k;
  const double dw = std::max(0.0, width() - base_w), dh = std::max(0.0, height() - base_h);
  auto fx = [&](int x) {
    double v = x * k;
    for (const Stretch& s : kStretchX)
      v += dw * s.share * std::clamp(double(x - s.from) / (s.to - s.from), 0.0, 1.0);
    return static_cast<int>(std::lround(v));
  };
  auto fy = [&](int y) {
    const double t = std::clamp(double(y - kStretchTop) / (kStretchBottom - kStretchTop), 0.0, 1.0);
    return static_cast<int>(std::lround(y * k + dh * t));
  };
  auto px = [&](int twips) { return static_cast<int>(std::lround(twips * k)); };
  for (const Placed& p : placed_) {
    const bool column = p.height >= kColumnHeight;
    const int x = fx(p.left);
    const int y = fy(p.top);
    const int w = column || p.top < kStretchTop ? fx(p.left + p.width) - x : px(p.width);
    const int h = column ? fy(p.top + p.height) - y : px(p.height);
    p.widget->setGeometry(x, y, w, h);
  }
}

void MainWindow::Form_Load() {
#if defined(ORVO_HAVE_RUN)
  args_[0]->setText(QString::number(Get_FnAddress()));
#endif
  text1_->selectAll();
  text1_->setFocus();
}

void MainWindow::Text1_Change() {
  command3_->setEnabled(false);
  if (text1_->Marked_Line() >= 0) text1_->Mark_Line(-1);
}

std::string MainWindow::Editor_Bytes() const { return From_EditorString(text1_->document()->toRawText()); }

void MainWindow::Set_Editor_Bytes(std::string_view bytes) { text1_->setPlainText(To_EditorString(bytes)); }

void MainWindow::Command1_Click() {
  // The compile rewrites the listing the columns read.
  for (ListingView* column : {list1_, list2_, text2_, text3_, pre_code_}) column->Clear();
  text1_->Mark_Line(-1);

  CompileOptions options;
  options.stack = check_stack_->isChecked();
  options.save_code_file = true;
  options.open_help = [this](int context) { Open_Help(context); };
  const CompileOutcome outcome = session_.Compile(Editor_Bytes(), options);
  Show_Listing();
  // The code of a compile that failed is partial or holds placeholders: it must not run.
  command3_->setEnabled(outcome == CompileOutcome::Finished);
  if (outcome != CompileOutcome::Finished) {
    // The line of the first error box; a stopped compile ends at it.
    const auto& compile_boxes = session_.Boxes();
    const auto first_error =
        std::find_if(compile_boxes.begin(), compile_boxes.end(), [](const CompileBox& b) { return b.error; });
    const std::size_t rows = session_.Listing_().PreCode_Rows();
    if (first_error != compile_boxes.end())
      text1_->Mark_Line(static_cast<int>(first_error->line));
    else if (rows > 0)
      text1_->Mark_Line(static_cast<int>(rows - 1));
  }
}

void MainWindow::Show_Listing() {
  const Listing& listing = session_.Listing_();
  const int row_height = text1_->Line_Height();
  for (ListingView* column : {list1_, list2_, text2_, text3_, pre_code_}) column->Show(listing, row_height);
  // Bring the new columns to the editor's row.
  const int row = text1_->verticalScrollBar()->value();
  for (QAbstractScrollArea* column :
       std::initializer_list<QAbstractScrollArea*>{list1_, list2_, text2_, text3_, pre_code_})
    column->verticalScrollBar()->setValue(row);
}

void MainWindow::Command2_Click() { Open_Help(1); }

bool MainWindow::Open_Help(int context) { return help_->Open(context); }

void MainWindow::Command3_Click() {
#if defined(ORVO_HAVE_RUN)
  std::array<std::string, 4> fields;
  for (int i = 0; i < 4; ++i) fields[i] = From_EditorString(args_[i]->text());
  RunLimits limits;
  limits.timeout_seconds = 10.0;
  const RunResult result = Command3_Run(*engine_, session_.Image().Bytes(), fields, limits);
  // A run that never started (an argument out of range) has no registers to show.
  if (result.registers.instructions != 0 || result.registers.eip != 0) {
    const QString text = Qs(Format_Registers(result.registers));
    registers_->setPlainText(text);
    auto* view = registers_->parentWidget();
    if (!view->isVisible()) {
      // Big enough for the whole text without scrolling.
      const QFontMetrics metrics(registers_->font());
      int widest = 0;
      const QStringList lines = text.split('\n');
      for (const QString& line : lines) widest = std::max(widest, metrics.horizontalAdvance(line));
      view->resize(widest + 40, metrics.lineSpacing() * static_cast<int>(lines.size()) + 40);
      view->move(frameGeometry().topRight() + QPoint(8, 0));
    }
    view->show();
  }
#else
  Show_Message("Error in assembler program\r\rThis build has no run engine.", MsgStyle::OkExclamation,
               kAppTitle);
#endif
}

void MainWindow::Command4_Click() { CmDialog(kDialogExport); }

void MainWindow::CmdOpen_Click() {
  const std::string name = CmDialog(kDialogOpen);
  if (!name.empty()) Load_Source(name);
}

void MainWindow::CmdSave_Click() {
  const std::string name = CmDialog(kDialogSave);
  if (!name.empty()) Save_Source(name);
}

std::string MainWindow::CmDialog(int mode) {
  const auto request = Dialog_Request(mode);
  if (!request) return {};
  FileChooser& chooser = chooser_ != nullptr ? *chooser_ : qt_chooser_;
  const DialogOutcome outcome = Decide_Dialog(mode, chooser.Choose(this, *request));
  if (!outcome.file.empty() && outcome.export_form != ExportForm::None)
    Export_Image(outcome.file, outcome.export_form == ExportForm::Hex);
  return outcome.file;
}

void MainWindow::Export_Image(const std::string& file_name, bool as_hex) {
#if ORVO_HAVE_EXPORT
  Export_CodeImage(session_.Image(), file_name, as_hex);
#else
  const std::string& image = session_.Image().Bytes();
  Write_File_Safely(file_name, as_hex ? Hex_Text(image) : image, FailureMode::GoOn,
                    [&](const std::string& description) {
                      Show_Message(description, MsgStyle::OkCritical, "Save: " + file_name);
                    });
#endif
}

void MainWindow::Load_Source(const std::string& file_name) {
  if (auto bytes = Load_SourceFile(file_name)) Set_Editor_Bytes(*bytes);
}

void MainWindow::Save_Source(const std::string& file_name) { Save_SourceFile(file_name, Editor_Bytes()); }

}  // namespace orvo::ide
