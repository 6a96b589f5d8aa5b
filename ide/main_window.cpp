#include "ide/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSet>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTextBlock>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>

#include "app/help_file.h"
#include "app/run_action.h"
#include "app/source_files.h"
#include "app/source_lines.h"
#include "assembler/dispatch.h"
#include "base/file_access.h"
#include "base/hex.h"
#include "base/message_box.h"
#include "ide/code_editor.h"
#include "ide/debugger.h"
#include "ide/error_list.h"
#include "ide/find_replace.h"
#include "ide/help_viewer.h"
#include "ide/listing_view.h"
#include "ide/menu_action.h"
#include "ide/text_convert.h"
#include "output/export.h"
#include "run/run_engine.h"

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

QString Qs(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }
QString Path_Qs(const std::string& path) {
  return QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size()));
}
std::string Path_Std(const QString& path) { return path.toLocal8Bit().toStdString(); }

// Widths of the panes in characters of the fixed face: what the default source and its listing
// need, with room to spare.
// clang-format off
struct PaneWidth { const char* name; int chars; };
constexpr PaneWidth kPaneChars[] = {
    {"List1",       6},
    {"List2",       6},
    {"Text1",      30},  // the editor, its gutter besides
    {"Text2",       8},
    {"Text3",      14},
    {"TxtPreCode", 20},
};
// clang-format on
constexpr int kStartLines = 18;  // editor lines visible at the start size

// Tooltips of the argument fields.
constexpr const char* kArgTips[4] = {
    "ARG1: the first argument, at [EBP+8] with Auto save/restore stack.\n"
    "It starts as the address of Show_Value: PUSH a value and CALL [EBP+8] to show it in a box.",
    "ARG2: the second argument, at [EBP+12] with Auto save/restore stack.",
    "ARG3: the third argument, at [EBP+16] with Auto save/restore stack.",
    "ARG4: the fourth argument, at [EBP+20] with Auto save/restore stack.",
};

QPlainTextEdit* Make_Column(QWidget* parent) {
  auto* edit = new QPlainTextEdit(parent);
  edit->setReadOnly(true);
  edit->setLineWrapMode(QPlainTextEdit::NoWrap);
  edit->document()->setUndoRedoEnabled(false);  // read-only: nothing to undo, no history to keep
  return edit;
}

// A heading over a control; every pane's heading is as tall, so the rows below them start level.
QLabel* Make_Heading(const char* name, const char* caption, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  label->setFixedHeight(label->fontMetrics().height() + 4);
  return label;
}

// The code file of a compile goes beside the program in a build tree. An installed program's
// folder is the system's (its help file lives in the shared data folder): there it goes to the
// user's data folder instead.
std::string Code_File_For_Window() {
  const std::string beside = Program_Folder() + "/" + std::string(kCodeFileName);
  if (Help_File_Path() == Program_Folder() + "/" + kHelpFileName) return beside;
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  if (folder.isEmpty() || !QDir().mkpath(folder)) return beside;
  return Path_Std(folder) + "/" + std::string(kCodeFileName);
}

QWidget* Make_Pane(QLabel* heading, std::initializer_list<QWidget*> controls, QWidget* parent) {
  auto* pane = new QWidget(parent);
  auto* layout = new QVBoxLayout(pane);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  heading->setParent(pane);
  layout->addWidget(heading);
  auto* row = new QHBoxLayout;
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  for (QWidget* control : controls) {
    control->setParent(pane);
    row->addWidget(control);
  }
  layout->addLayout(row, 1);
  return pane;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), chooser_(&qt_chooser_) {
  setObjectName("ORVOIDE");
  engine_ = std::make_unique<RunEngine>();
  Build_Controls();
  Build_Menus();
  Build_StatusBar();
  stop_repeat_ = new QTimer(this);
  stop_repeat_->setInterval(100);
  connect(stop_repeat_, &QTimer::timeout, this, [this] { engine_->Request_Stop(); });
  run_thread_ = new QThread(this);
  run_thread_->setObjectName("RunThread");
  run_context_ = new QObject;
  run_context_->moveToThread(run_thread_);
  connect(run_thread_, &QThread::finished, run_context_, &QObject::deleteLater);
  run_thread_->start();
  help_ = new HelpViewer(this);
  help_->setWindowFlag(Qt::Window);
  find_ = new FindReplace(text1_, this);
  Size_For_Default_Source();
  Form_Load();
  Restore_Settings();
  Update_Title();
  Update_Cursor_Status();
}

MainWindow::~MainWindow() {
  if (run_thread_ != nullptr) {
    run_thread_->quit();
    run_thread_->wait();
  }
  // The engine's child process belongs to the run thread, which has ended: it goes now.
  engine_.reset();
}

void MainWindow::Build_Controls() {
  QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  mono.setPointSize(9);

  text1_ = new CodeEditor(this);
  text1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text1_->setFont(mono);
  text1_->setTabChangesFocus(false);
  text1_->setObjectName("Text1");
  text1_->Set_Help_Listener(
      [this](const QString& word, const QString& first) { Help_At_Cursor(word, first); });
  text1_->setMinimumWidth(text1_->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 12);

  auto make_view = [&](const char* name, ListingModel::Column column, bool scroll_bars) {
    auto* view = new ListingView(column, this);
    view->setObjectName(name);
    view->setFont(mono);
    view->setVerticalScrollBarPolicy(scroll_bars ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    view->setHorizontalScrollBarPolicy(scroll_bars ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setMinimumWidth(view->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 3);
    return view;
  };
  text2_ = make_view("Text2", ListingModel::Column::Chars, false);
  text3_ = make_view("Text3", ListingModel::Column::Bytes, true);
  list1_ = make_view("List1", ListingModel::Column::Decimal, false);
  list2_ = make_view("List2", ListingModel::Column::Hex, false);
  pre_code_ = make_view("TxtPreCode", ListingModel::Column::PreCode, true);
  for (ListingView* list : {list1_, list2_}) list->setSelectionMode(QAbstractItemView::SingleSelection);

  auto* central = new QWidget(this);
  central->setObjectName("Panel");
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);
  layout->addWidget(Build_Panes(), 1);
  layout->addWidget(Build_Bottom());
  setCentralWidget(central);

  // Tab order of the original form.
  const std::vector<QWidget*> order = {text1_,    text2_,       text3_,    list1_,    list2_,   command2_,
                                       command3_, args_[0],     args_[1],  args_[2],  args_[3], command1_,
                                       pre_code_, check_stack_, cmd_open_, cmd_save_, command4_};
  for (std::size_t i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);

  command3_->setEnabled(false);
  // The default source reads its arguments through EBP and ends without RET: it needs the frame.
  check_stack_->setChecked(true);
  check_stack_->setToolTip("See STUB_MakeCaller function");
  text1_->setPlainText(To_EditorString(kDefaultSource));

  connect(text1_->document(), &QTextDocument::contentsChange, this, [this](int, int removed, int added) {
    if (removed != 0 || added != 0) Text1_Change();
  });
  connect(text1_->document(), &QTextDocument::modificationChanged, this, [this] { Update_Title(); });
  connect(text1_, &QPlainTextEdit::cursorPositionChanged, this, [this] { Update_Cursor_Status(); });
  connect(text1_, &QPlainTextEdit::blockCountChanged, this, [this] {
    for (ListingView* column : {list1_, list2_, text2_, text3_, pre_code_})
      column->Set_Min_Rows(text1_->blockCount(), text1_->Line_Height());
    Follow_Editor();
  });
  connect(command1_, &QPushButton::clicked, this, &MainWindow::Command1_Click);
  connect(command2_, &QPushButton::clicked, this, &MainWindow::Command2_Click);
  connect(command3_, &QPushButton::clicked, this, &MainWindow::Command3_Click);
  connect(command4_, &QPushButton::clicked, this, &MainWindow::Command4_Click);
  connect(cmd_open_, &QPushButton::clicked, this, &MainWindow::CmdOpen_Click);
  connect(cmd_save_, &QPushButton::clicked, this, &MainWindow::CmdSave_Click);

  // Every column scrolls by whole rows, level with the editor's lines; the editor leads.
  text1_->Set_Scroll_Listener([this] { Follow_Editor(); });
  for (ListingView* column : {list1_, list2_, text2_, text3_, pre_code_}) {
    column->Set_Min_Rows(text1_->blockCount(), text1_->Line_Height());
    connect(column->verticalScrollBar(), &QScrollBar::valueChanged, this, &MainWindow::Follow_Column);
  }
  // Columns without a horizontal scroll bar keep its height free, so they show as many rows.
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, text1_);
  for (ListingView* column : {list1_, list2_, text2_}) column->Reserve_Bottom(bar);

  // The register view after RUN: a dock beside the columns, shown without taking the keyboard.
  register_dock_ = new QDockWidget("Registers after RUN", this);
  register_dock_->setObjectName("RegisterView");
  registers_ = Make_Column(register_dock_);
  registers_->setObjectName("Registers");
  registers_->setFont(mono);
  registers_->setFocusPolicy(Qt::ClickFocus);
  registers_->document()->setDocumentMargin(6);
  register_dock_->setWidget(registers_);
  addDockWidget(Qt::BottomDockWidgetArea, register_dock_);
  register_dock_->hide();

  // Every box of the last compile with its line; a click goes there.
  error_dock_ = new QDockWidget("Compile messages", this);
  error_dock_->setObjectName("ErrorListDock");
  errors_ = new ErrorList(error_dock_);
  errors_->setFocusPolicy(Qt::ClickFocus);
  errors_->Set_Jump_Listener([this](int line) { Jump_To_Line(line); });
  error_dock_->setWidget(errors_);
  addDockWidget(Qt::BottomDockWidgetArea, error_dock_);
  error_dock_->hide();
}

QWidget* MainWindow::Build_Panes() {
  splitter_ = new QSplitter(Qt::Horizontal, this);
  splitter_->setObjectName("ColumnSplitter");
  splitter_->setChildrenCollapsible(false);
  splitter_->addWidget(Make_Pane(Make_Heading("Label1", "Addr", this), {list1_, list2_}, splitter_));
  splitter_->addWidget(Make_Pane(Make_Heading("Label7", "Editor", this), {text1_}, splitter_));
  splitter_->addWidget(Make_Pane(Make_Heading("Label9", "Char", this), {text2_}, splitter_));
  splitter_->addWidget(Make_Pane(Make_Heading("Label8", "HEX", this), {text3_}, splitter_));
  splitter_->addWidget(Make_Pane(Make_Heading("Label3", "CONST/REM free", this), {pre_code_}, splitter_));
  // The editor and the preprocessed source take extra width first.
  const int stretch[] = {0, 5, 0, 2, 3};
  for (int i = 0; i < 5; ++i) splitter_->setStretchFactor(i, stretch[i]);
  return splitter_;
}

QWidget* MainWindow::Build_Bottom() {
  auto* bottom = new QWidget(this);
  bottom->setObjectName("ButtonRow");
  auto make_button = [&](QPushButton*& button, const char* name, const char* caption) {
    button = new QPushButton(caption, bottom);
    button->setObjectName(name);
    button->setAutoDefault(false);
    // Sized by the caption, not the style's wider minimum, so the two rows fit a small screen.
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(button->text()) + 24);
  };
  make_button(command1_, "Command1", "Compile");
  make_button(command2_, "Command2", "Help");
  make_button(command3_, "Command3", "RUN");
  make_button(cmd_open_, "CmdOpen", "Open");
  make_button(cmd_save_, "CmdSave", "Save");
  make_button(command4_, "Command4", "Export");
  check_stack_ = new QCheckBox("Auto save/restore stack", bottom);
  check_stack_->setObjectName("CheckStack");
  auto* arguments = new QLabel("Arguments", bottom);
  arguments->setObjectName("Label2");

  // Two rows as on the original form: Compile, Help and RUN over the argument fields, Open,
  // Save, Export and the stack box. The argument fields keep their width and stay together.
  auto* grid = new QGridLayout(bottom);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(2);
  auto* first = new QHBoxLayout;
  first->setSpacing(4);
  first->addWidget(command1_);
  first->addWidget(command2_);
  grid->addLayout(first, 0, 0);
  grid->addWidget(arguments, 1, 0);
  const int field_width = QFontMetrics(font()).horizontalAdvance(QStringLiteral("-2147483648")) + 12;
  for (int i = 0; i < 4; ++i) {
    const QString name = QStringLiteral("ARG%1").arg(i + 1);
    auto* label = new QLabel(name, bottom);
    label->setObjectName(QStringLiteral("LabelArg%1").arg(i + 1));
    label->setToolTip(kArgTips[i]);
    label->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    auto* field = new QLineEdit(QStringLiteral("0"), bottom);
    field->setObjectName(QStringLiteral("Text%1").arg(i + 4));
    field->setToolTip(kArgTips[i]);
    field->setMaximumWidth(field_width);
    field->setMinimumWidth(field_width * 2 / 3);
    label->setBuddy(field);
    args_[i] = field;
    grid->addWidget(label, 0, 1 + i);
    grid->addWidget(field, 1, 1 + i);
  }
  grid->addWidget(command3_, 0, 5, Qt::AlignLeft);
  auto* second = new QHBoxLayout;
  second->setSpacing(4);
  second->addWidget(cmd_open_);
  second->addWidget(cmd_save_);
  second->addWidget(command4_);
  second->addWidget(check_stack_);
  grid->addLayout(second, 1, 5);
  grid->setColumnStretch(6, 1);
  return bottom;
}

void MainWindow::Build_Menus() {
  auto add = [this](QMenu* menu, const char* name, const QString& text, QList<QKeySequence> keys, auto slot) {
    return Add_MenuAction(menu, this, this, name, text, std::move(keys), slot);
  };
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("FileMenu");
  QAction* new_action = add(file, "ActionNew", "&New", {QKeySequence::New}, [this] { New_Source(); });
  QAction* open_action =
      add(file, "ActionOpen", "&Open...", {QKeySequence::Open}, [this] { CmdOpen_Click(); });
  recent_menu_ = file->addMenu("Open &Recent");
  recent_menu_->setObjectName("RecentMenu");
  QAction* save_action = add(file, "ActionSave", "&Save", {QKeySequence::Save}, [this] { CmdSave_Click(); });
  add(file, "ActionSaveAs", "Save &As...", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
      [this] { Save_As(); });
  add(file, "ActionExport", "&Export...", {QKeySequence(Qt::CTRL | Qt::Key_E)}, [this] { Command4_Click(); });
  file->addSeparator();
  add(file, "ActionQuit", "&Quit", {QKeySequence(Qt::CTRL | Qt::Key_Q)}, [this] { close(); });

  QMenu* edit = menuBar()->addMenu("&Edit");
  edit->setObjectName("EditMenu");
  QAction* undo = add(edit, "ActionUndo", "&Undo", {QKeySequence::Undo}, [this] { text1_->undo(); });
  QAction* redo = add(edit, "ActionRedo", "&Redo", {QKeySequence::Redo}, [this] { text1_->redo(); });
  undo->setEnabled(false);
  redo->setEnabled(false);
  connect(text1_, &QPlainTextEdit::undoAvailable, undo, &QAction::setEnabled);
  connect(text1_, &QPlainTextEdit::redoAvailable, redo, &QAction::setEnabled);
  edit->addSeparator();
  add(edit, "ActionCut", "Cu&t", {QKeySequence::Cut}, [this] { text1_->cut(); });
  // Copy takes what has the keyboard: the editor's selection or a column's selected rows.
  add(edit, "ActionCopy", "&Copy", {QKeySequence::Copy}, [this] {
    if (auto* column = dynamic_cast<ListingView*>(QApplication::focusWidget()))
      column->Copy_Selection();
    else
      text1_->copy();
  });
  add(edit, "ActionPaste", "&Paste", {QKeySequence::Paste}, [this] { text1_->paste(); });
  edit->addSeparator();
  add(edit, "ActionFind", "&Find/Replace...", {QKeySequence::Find, QKeySequence(Qt::CTRL | Qt::Key_H)},
      [this] { find_->Start(); });
  add(edit, "ActionGoToLine", "&Go to Line...", {QKeySequence(Qt::CTRL | Qt::Key_G)},
      [this] { Go_To_Line(); });
  add(edit, "ActionSelectAll", "Select &All", {QKeySequence::SelectAll}, [this] {
    text1_->setFocus();
    text1_->selectAll();
  });
  // The editor and the columns handle these keys themselves, each on what it shows; the menu
  // only names them.
  for (QAction* action : edit->actions())
    if (action->objectName() != "ActionFind" && action->objectName() != "ActionGoToLine")
      action->setShortcutContext(Qt::WidgetShortcut);

  QMenu* build = menuBar()->addMenu("&Build");
  build->setObjectName("BuildMenu");
  QAction* compile =
      add(build, "ActionCompile", "&Compile", {QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_B)},
          [this] { Command1_Click(); });
  run_action_ =
      add(build, "ActionRun", "&RUN", {QKeySequence(Qt::Key_F9), QKeySequence(Qt::CTRL | Qt::Key_R)}, [this] {
        if (command3_->isEnabled()) Command3_Click();
      });
  run_action_->setEnabled(false);
  // Stop: not F5/F9 and their Ctrl keys, which start things; Ctrl+Break as terminals have it.
  stop_action_ = add(build, "ActionStop", "S&top RUN",
                     {QKeySequence(Qt::CTRL | Qt::Key_F2), QKeySequence(Qt::CTRL | Qt::Key_Pause)},
                     [this] { Stop_Run(); });
  stop_action_->setEnabled(false);
  build->addSeparator();
  stack_action_ = new QAction("&Auto save/restore stack", this);
  stack_action_->setObjectName("ActionStack");
  stack_action_->setCheckable(true);
  stack_action_->setChecked(check_stack_->isChecked());
  connect(stack_action_, &QAction::toggled, check_stack_, &QCheckBox::setChecked);
  connect(check_stack_, &QCheckBox::toggled, stack_action_, &QAction::setChecked);
  build->addAction(stack_action_);
  QAction* error_list = error_dock_->toggleViewAction();
  error_list->setObjectName("ActionErrorList");
  error_list->setText("Compile &Messages");
  build->addAction(error_list);
  // A Debug menu goes between Build and Help.

  QMenu* help = menuBar()->addMenu("&Help");
  help->setObjectName("HelpMenu");
  QAction* contents =
      add(help, "ActionHelpContents", "&Contents", {QKeySequence(Qt::Key_F1)}, [this] { Command2_Click(); });
  add(help, "ActionInstructionReference", "&Instruction reference", {}, [this] { Open_Help(3); });
  help->addSeparator();
  add(help, "ActionAbout", "&About ORVO IDE", {}, [this] { Show_About(); });

  QToolBar* tools = addToolBar("Main");
  tools->setObjectName("MainToolBar");
  tools->setMovable(false);
  tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
  for (QAction* action : {new_action, open_action, save_action}) tools->addAction(action);
  tools->addSeparator();
  for (QAction* action : {compile, run_action_, stop_action_}) tools->addAction(action);
  tools->addSeparator();
  tools->addAction(contents);
  for (QAction* action : tools->actions())
    if (QWidget* button = tools->widgetForAction(action)) button->setFocusPolicy(Qt::NoFocus);
  Rebuild_Recent_Menu();
  Build_Debugger(help);
}

void MainWindow::Build_StatusBar() {
  auto make = [this](const char* name) {
    auto* label = new QLabel(this);
    label->setObjectName(name);
    return label;
  };
  status_compile_ = make("StatusCompile");
  status_size_ = make("StatusSize");
  status_cursor_ = make("StatusCursor");
  status_run_ = make("StatusRun");
  statusBar()->setObjectName("StatusBar");
  statusBar()->addWidget(status_compile_, 1);
  statusBar()->addPermanentWidget(status_size_);
  statusBar()->addPermanentWidget(status_run_);
  statusBar()->addPermanentWidget(status_cursor_);
  status_compile_->setText("Not compiled");
}

void MainWindow::Size_For_Default_Source() {
  // Wide enough for each pane's text in the fixed face, tall enough for kStartLines lines: the
  // sizes follow the fonts, so they hold at any scaling.
  const QFontMetrics mono(text1_->font());
  const int ch = mono.horizontalAdvance(QLatin1Char('0'));
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, text1_);
  const int frame = 2 * text1_->frameWidth();
  QList<int> sizes;
  int total = 0;
  for (int pane = 0; pane < splitter_->count(); ++pane) {
    int width = 0;
    if (pane == 0) {
      width = 2 * (kPaneChars[0].chars * ch + frame);
    } else {
      const PaneWidth& p = kPaneChars[pane + 1];
      width = p.chars * ch + frame;
      if (pane == 1) width += text1_->Gutter_Width() + bar;
      if (pane >= 3) width += bar;
    }
    sizes << width;
    total += width;
  }
  total += splitter_->handleWidth() * (splitter_->count() - 1);
  const int editor_height = kStartLines * text1_->Line_Height() + bar + frame + 20;
  centralWidget()->ensurePolished();
  const QSize bottom = centralWidget()->layout()->itemAt(1)->sizeHint();
  QSize client(std::max(total, centralWidget()->layout()->itemAt(1)->minimumSize().width()) + 8,
               editor_height + bottom.height() + 12);
  client.rheight() += menuBar()->sizeHint().height() + statusBar()->sizeHint().height();
  for (QToolBar* bar_widget : findChildren<QToolBar*>()) client.rheight() += bar_widget->sizeHint().height();
  if (const QScreen* s = screen()) client = client.boundedTo(s->availableGeometry().size() - QSize(16, 48));
  resize(client);
  splitter_->setSizes(sizes);
}

void MainWindow::Follow_Editor() {
  if (syncing_) return;
  syncing_ = true;
  const int value = text1_->verticalScrollBar()->value();
  for (ListingView* column : {list1_, list2_, text2_, text3_, pre_code_})
    if (column->verticalScrollBar()->value() != value) column->verticalScrollBar()->setValue(value);
  syncing_ = false;
}

void MainWindow::Follow_Column(int value) {
  if (syncing_) return;
  syncing_ = true;
  text1_->verticalScrollBar()->setValue(value);
  syncing_ = false;
  // The editor may stop short of the column (its last lines): everything follows the editor.
  Follow_Editor();
}

void MainWindow::Form_Load() {
  args_[0]->setText(QString::number(Get_FnAddress()));
  text1_->selectAll();
  text1_->setFocus();
}

void MainWindow::Text1_Change() {
  if (debugger_ != nullptr) debugger_->End_Session();
  Set_Run_Enabled(false);
  if (text1_->Marked_Line() >= 0) text1_->Mark_Line(-1);
  // The listing belongs to the text it was compiled from.
  Clear_Listing();
  status_compile_->setText("Edited: not compiled");
}

void MainWindow::Build_Debugger(QMenu* before) {
  DebugHost host;
  host.window = this;
  host.editor = text1_;
  host.columns = {list1_, list2_, text2_, text3_, pre_code_};
  // RUN is enabled exactly while the compile of the editor's text finished.
  host.compile = [this] {
    if (!command3_->isEnabled()) Command1_Click();
    return command3_->isEnabled();
  };
  host.session = [this]() -> const CompileSession& { return session_; };
  host.arguments = [this] {
    std::array<std::string, 4> fields;
    for (int i = 0; i < 4; ++i) fields[i] = From_EditorString(args_[i]->text());
    return fields;
  };
  host.source = [this] { return Editor_Bytes(); };
  host.before = before;
  debugger_ = new Debugger(std::move(host));
}

void MainWindow::Set_Run_Enabled(bool enabled) {
  command3_->setEnabled(enabled);
  if (run_action_ != nullptr) run_action_->setEnabled(enabled);
}

std::string MainWindow::Editor_Bytes() const { return From_EditorString(text1_->document()->toRawText()); }

void MainWindow::Set_Editor_Bytes(std::string_view bytes) { text1_->setPlainText(To_EditorString(bytes)); }

void MainWindow::Clear_Listing() {
  for (ListingView* column : {list1_, list2_, text2_, text3_, pre_code_}) column->Clear();
  Follow_Editor();
}

void MainWindow::Command1_Click() {
  // A session runs the code and names the lines of the compile before this one.
  if (debugger_ != nullptr) debugger_->End_Session();
  // The compile rewrites the listing the columns read.
  Clear_Listing();
  text1_->Mark_Line(-1);

  CompileOptions options;
  options.stack = check_stack_->isChecked();
  options.write_code_file = true;
  options.code_file_path = Code_File_For_Window();
  options.on_syntax_help = [this](int context) { Open_Help(context); };
  const CompileOutcome outcome = session_.Compile(Editor_Bytes(), options);
  // The message dock first: showing it changes the editor's height, and the jump to a marked
  // line below must see the final height.
  Show_Compile_Boxes();
  layout()->activate();
  Show_Listing();
  const std::size_t size = session_.Image().Bytes().size();
  if (outcome == CompileOutcome::Finished) {
    Set_Run_Enabled(true);
    status_compile_->setText("Compiled");
    status_size_->setText(QStringLiteral("Code: %1 bytes").arg(size));
  } else {
    // The code of a failed compile is partial or holds placeholders, so RUN stays off. Every
    // error box marks its line, the cursor goes to the first; a compile that stopped without one
    // ends at its last preprocessed line.
    std::vector<int> lines;
    for (const CompileBox& box : session_.Boxes())
      if (box.error) lines.push_back(static_cast<int>(box.line));
    const std::size_t rows = session_.Listing_().PreCode_Rows();
    if (lines.empty() && rows > 0) lines.push_back(static_cast<int>(rows - 1));
    text1_->Mark_Lines(lines);
    const int first = lines.empty() ? 0 : lines.front();
    status_compile_->setText(lines.size() > 1 ? QStringLiteral("Compile failed at line %1 and %2 more")
                                                    .arg(first + 1)
                                                    .arg(lines.size() - 1)
                                              : QStringLiteral("Compile failed at line %1").arg(first + 1));
    status_size_->clear();
  }
  Follow_Editor();
}

void MainWindow::Show_Compile_Boxes() {
  std::vector<ErrorEntry> entries;
  entries.reserve(session_.Boxes().size());
  for (const CompileBox& box : session_.Boxes())
    entries.push_back({static_cast<int>(box.line), Qs(box.title), Qs(box.text), box.error});
  errors_->Show_Entries(entries);
  // Shown when there is something to read; the person may close it, the next messages bring it back.
  if (entries.empty() || error_dock_->isVisible()) return;
  error_dock_->show();
  // Four rows tall, so the editor keeps most of its lines.
  const int row = errors_->fontMetrics().lineSpacing() + 6;
  resizeDocks({error_dock_}, {errors_->header()->sizeHint().height() + 4 * row + 2 * errors_->frameWidth()},
              Qt::Vertical);
}

void MainWindow::Show_Listing() {
  const Listing& listing = session_.Listing_();
  const int row_height = text1_->Line_Height();
  for (ListingView* column : {list1_, list2_, text2_, text3_, pre_code_}) {
    column->Set_Min_Rows(text1_->blockCount(), row_height);
    column->Show(listing, row_height);
  }
  Follow_Editor();
}

void MainWindow::Command2_Click() { Open_Help(1); }

bool MainWindow::Open_Help(int context) { return help_->Open(context); }

void MainWindow::Help_At_Cursor(const QString& word, const QString& first) {
  static const QSet<QString> known = [] {
    QSet<QString> names;
    for (std::string_view name : Accepted_Mnemonics()) names.insert(Qs(name));
    return names;
  }();
  for (const QString& candidate : {word.toUpper(), first.toUpper()}) {
    if (known.contains(candidate)) {
      help_->Open_Instruction(candidate);
      return;
    }
  }
  Command2_Click();
}

namespace {
// A run's boxes come from its own thread; the window's thread shows them (modal to the window)
// while the run waits for the answer.
class ForwardToWindow : public MessageHandler {
 public:
  explicit ForwardToWindow(QObject* window) : window_(window) {}
  MsgAnswer Show(const Message& message) override {
    MsgAnswer answer = MsgAnswer::Ok;
    QMetaObject::invokeMethod(
        window_,
        [&] {
          answer =
              Show_Message(message.text, message.style,
                           message.title ? std::optional<std::string_view>(*message.title) : std::nullopt);
        },
        Qt::BlockingQueuedConnection);
    return answer;
  }

 private:
  QObject* window_;
};

constexpr const char* kMoreBoxesText =
    "The routine has shown %1 Show_Value boxes.\r\rShow more? No ends the run.";
}  // namespace

void MainWindow::Command3_Click() {
  if (running_) return;
  std::array<std::string, 4> fields;
  for (int i = 0; i < 4; ++i) fields[i] = From_EditorString(args_[i]->text());
  RunLimits limits;
  limits.timeout_seconds = 10.0;
  // Asked on the run's thread; the box itself goes to the window like every other.
  limits.more_boxes = [max = limits.max_boxes] {
    const std::string text = QString(kMoreBoxesText).arg(max).toStdString();
    return Show_Message(text, MsgStyle::YesNoCritical, kAppTitle) == MsgAnswer::Yes;
  };
  QWidget* keyboard = QApplication::focusWidget();
  const std::string code = session_.Image().Bytes();
  // RUN is enabled only while the editor holds the compiled text: its lines name a fault's line.
  const std::string source = Editor_Bytes();
  const std::size_t image_size = session_.Image().Size();
  const SourceLineMap source_lines(session_.Listing_(), image_size,
                                   Has_StackFrame(session_.Listing_(), image_size), Split_Lines(source));

  // The routine runs on its own thread; this one goes on handling the window (boxes, Stop,
  // painting) until the run says it ended.
  RunResult result;
  std::atomic<bool> done{false};
  Set_Running(true);
  QMetaObject::invokeMethod(run_context_, [&] {
    ForwardToWindow forward(this);
    ScopedMessageHandler scope(forward);
    try {
      result = Command3_Run(*engine_, code, fields, limits, &source_lines);
    } catch (const std::exception& e) {
      result = RunResult{};
      result.status = RunStatus::Faulted;
      result.what = e.what();
      Show_Message("Error in assembler program\r\r" + result.what, MsgStyle::OkExclamation, kAppTitle);
    }
    done = true;
    QMetaObject::invokeMethod(this, [] {}, Qt::QueuedConnection);  // wakes the loop below
  });
  while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  const bool stopped = stop_requested_;
  Set_Running(false);

  if (result.status == RunStatus::Returned) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<std::uint32_t>(result.eax));
    status_run_->setText(QStringLiteral("Returned %1 (&H%2)").arg(result.eax).arg(hex));
  } else {
    status_run_->setText(stopped ? "RUN stopped" : "RUN failed");
  }
  // A run that never started (an argument out of range) has no registers to show.
  if (result.registers.instructions != 0 || result.registers.eip != 0) {
    registers_->setPlainText(Qs(Format_Registers(result.registers)));
    if (!register_dock_->isVisible()) {
      register_dock_->show();
      // As tall as the register text, so the editor keeps most of its lines.
      const int lines = registers_->document()->blockCount();
      const int height =
          (lines + 1) * registers_->fontMetrics().lineSpacing() + 2 * 6 + 2 * registers_->frameWidth();
      resizeDocks({register_dock_}, {height}, Qt::Vertical);
    }
  }
  // The boxes of the run are gone: the keyboard goes back where it was.
  if (keyboard != nullptr && keyboard->isVisible()) keyboard->setFocus(Qt::OtherFocusReason);
  if (close_after_run_) QTimer::singleShot(0, this, [this] { close(); });
}

void MainWindow::Stop_Run() {
  if (!running_) return;
  stop_requested_ = true;
  engine_->Request_Stop();
  // Again until it ends: a request that came before the run started is forgotten when it starts.
  stop_repeat_->start();
}

void MainWindow::Set_Running(bool running) {
  running_ = running;
  if (running) stop_requested_ = false;
  if (!running) stop_repeat_->stop();
  stop_action_->setEnabled(running);
  Set_Run_Enabled(!running);
  command1_->setEnabled(!running);
  cmd_open_->setEnabled(!running);
  recent_menu_->setEnabled(!running && !recent_.isEmpty());
  for (const char* name : {"ActionCompile", "ActionNew", "ActionOpen"})
    if (auto* action = findChild<QAction*>(name)) action->setEnabled(!running);
  // The code under way came from this text: it stays as it is until the run ends.
  text1_->setReadOnly(running);
  if (running)
    status_run_->setText(QStringLiteral("Running... (Stop: %1)")
                             .arg(stop_action_->shortcut().toString(QKeySequence::NativeText)));
}

void MainWindow::Command4_Click() { CmDialog(kDialogExport); }

void MainWindow::CmdOpen_Click() {
  if (!Maybe_Save()) return;
  const std::string name = CmDialog(kDialogOpen);
  if (!name.empty()) Load_Source(name);
}

void MainWindow::CmdSave_Click() {
  if (current_file_.empty())
    Save_As();
  else
    Save_Source(current_file_);
}

void MainWindow::Save_As() {
  const std::string name = CmDialog(kDialogSave);
  if (!name.empty()) Save_Source(name);
}

void MainWindow::New_Source() {
  if (!Maybe_Save()) return;
  text1_->clear();
  current_file_.clear();
  text1_->document()->setModified(false);
  Update_Title();
}

void MainWindow::Open_Recent(const std::string& file_name) {
  if (!Maybe_Save()) return;
  if (!Load_Source(file_name)) {
    // Gone or unreadable: the box said why; it leaves the list.
    recent_.removeAll(Path_Qs(file_name));
    Rebuild_Recent_Menu();
    Save_Settings();
  }
}

std::string MainWindow::CmDialog(int mode) {
  auto request = Dialog_Request(mode);
  if (!request) return {};
  // Start where the user last was, else where the current file lives.
  if (!current_file_.empty() && mode != kDialogExport)
    request->start_folder = std::filesystem::path(current_file_).parent_path().string();
  else if (!last_folder_.empty())
    request->start_folder = last_folder_;
  FileChooser& chooser = chooser_ != nullptr ? *chooser_ : qt_chooser_;
  const DialogOutcome outcome = Decide_Dialog(mode, chooser.Choose(this, *request));
  if (!outcome.file.empty()) last_folder_ = std::filesystem::path(outcome.file).parent_path().string();
  if (!outcome.file.empty() && outcome.export_form != ExportForm::None)
    Export_Image(outcome.file, outcome.export_form == ExportForm::Hex);
  return outcome.file;
}

void MainWindow::Export_Image(const std::string& file_name, bool as_hex) {
  Diagnostics raised;
  Export_CodeImage(session_.Image(), file_name, as_hex, raised);
  raised.Forward();
}

bool MainWindow::Load_Source(const std::string& file_name) {
  auto bytes = Load_SourceFile(file_name);
  if (!bytes) return false;
  Set_Editor_Bytes(*bytes);
  current_file_ = file_name;
  text1_->document()->setModified(false);
  Remember_File(file_name);
  Update_Title();
  return true;
}

bool MainWindow::Save_Source(const std::string& file_name) {
  if (!Save_SourceFile(file_name, Editor_Bytes())) return false;
  current_file_ = file_name;
  text1_->document()->setModified(false);
  Remember_File(file_name);
  Update_Title();
  return true;
}

bool MainWindow::Maybe_Save() {
  if (!text1_->document()->isModified()) return true;
  const QString name =
      current_file_.empty() ? QStringLiteral("Untitled") : QFileInfo(Path_Qs(current_file_)).fileName();
  FileChooser& chooser = chooser_ != nullptr ? *chooser_ : qt_chooser_;
  switch (chooser.Ask_Unsaved(this, name)) {
    case UnsavedAnswer::Save:
      CmdSave_Click();
      return !text1_->document()->isModified();  // a cancelled or failed save keeps the edits
    case UnsavedAnswer::Discard:
      return true;
    case UnsavedAnswer::Cancel:
      break;
  }
  return false;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (running_) {
    // The run's thread uses the window: it ends first, then the window closes.
    close_after_run_ = true;
    Stop_Run();
    event->ignore();
    return;
  }
  if (!Maybe_Save()) {
    event->ignore();
    return;
  }
  Save_Settings();
  help_->close();
  find_->close();
  event->accept();
}

void MainWindow::Update_Title() {
  const bool modified = text1_->document()->isModified();
  QString name;
  if (!current_file_.empty())
    name = QFileInfo(Path_Qs(current_file_)).fileName();
  else if (modified)
    name = QStringLiteral("Untitled");
  if (name.isEmpty()) {
    setWindowTitle(kWindowCaption);
    return;
  }
  setWindowTitle(name + (modified ? QStringLiteral("*") : QString()) + QStringLiteral(" - ") +
                 kWindowCaption);
}

void MainWindow::Update_Cursor_Status() {
  const QTextCursor cursor = text1_->textCursor();
  status_cursor_->setText(
      QStringLiteral("Line %1, Col %2").arg(cursor.blockNumber() + 1).arg(cursor.positionInBlock() + 1));
}

void MainWindow::Remember_File(const std::string& file_name) {
  const QString path = QFileInfo(Path_Qs(file_name)).absoluteFilePath();
  recent_.removeAll(path);
  recent_.prepend(path);
  while (recent_.size() > kMaxRecentFiles) recent_.removeLast();
  last_folder_ = std::filesystem::path(file_name).parent_path().string();
  Rebuild_Recent_Menu();
  Save_Settings();
}

void MainWindow::Rebuild_Recent_Menu() {
  recent_menu_->clear();
  for (int i = 0; i < recent_.size(); ++i) {
    const QString path = recent_[i];
    QAction* action = recent_menu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(path));
    action->setObjectName(QStringLiteral("ActionRecent%1").arg(i + 1));
    action->setData(path);
    connect(action, &QAction::triggered, this, [this, path] { Open_Recent(Path_Std(path)); });
  }
  recent_menu_->setEnabled(!recent_.isEmpty());
}

void MainWindow::Go_To_Line() {
  bool ok = false;
  const int line = QInputDialog::getInt(this, "Go to Line", "Line:", text1_->textCursor().blockNumber() + 1,
                                        1, text1_->blockCount(), 1, &ok);
  if (ok) Jump_To_Line(line - 1);
}

void MainWindow::Jump_To_Line(int line) {
  const QTextBlock block = text1_->document()->findBlockByNumber(line);
  if (!block.isValid()) return;
  text1_->setTextCursor(QTextCursor(block));
  text1_->ensureCursorVisible();
  text1_->setFocus();
  Follow_Editor();
}

void MainWindow::Show_About() {
  Show_Message(
      "ORVO IDE\r\rAn assembler for 32-bit x86 routines: write, compile, and run them in an emulator.",
      MsgStyle::Ok, "About ORVO IDE");
}

namespace {
QSettings Open_Settings() {
  return QSettings(QSettings::IniFormat, QSettings::UserScope, "ORVO", "orvo-ide");
}
}  // namespace

void MainWindow::Restore_Settings() {
  const QSettings settings = Open_Settings();
  if (settings.allKeys().isEmpty()) return;  // first start: as the window comes
  recent_ = settings.value("file/recent").toStringList();
  last_folder_ = Path_Std(settings.value("file/folder").toString());
  QStringList args = settings.value("run/arguments").toStringList();
  // ARG1 left at Show_Value's address then follows the address of this build.
  if (args.size() == 4 && args[0] == settings.value("run/show_value").toString()) args[0] = args_[0]->text();
  if (args.size() == 4)
    for (int i = 0; i < 4; ++i) args_[i]->setText(args[i]);
  check_stack_->setChecked(settings.value("run/stack", check_stack_->isChecked()).toBool());
  restoreGeometry(settings.value("window/geometry").toByteArray());
  restoreState(settings.value("window/state").toByteArray());
  splitter_->restoreState(settings.value("window/splitter").toByteArray());
  Rebuild_Recent_Menu();
  const std::string last = Path_Std(settings.value("file/last").toString());
  std::error_code error;
  if (!last.empty() && std::filesystem::is_regular_file(last, error) && Load_Source(last)) {
    text1_->selectAll();
    text1_->setFocus();
  }
}

void MainWindow::Save_Settings() const {
  QSettings settings = Open_Settings();
  settings.setValue("file/recent", recent_);
  settings.setValue("file/folder", Path_Qs(last_folder_));
  settings.setValue("file/last", Path_Qs(current_file_));
  QStringList args;
  for (const QLineEdit* field : args_) args << field->text();
  settings.setValue("run/arguments", args);
  settings.setValue("run/show_value", QString::number(Get_FnAddress()));
  settings.setValue("run/stack", check_stack_->isChecked());
  settings.setValue("window/geometry", saveGeometry());
  settings.setValue("window/state", saveState());
  settings.setValue("window/splitter", splitter_->saveState());
}

}  // namespace orvo::ide
