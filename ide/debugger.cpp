#include "ide/debugger.h"

#include <QAction>
#include <QDockWidget>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>

#include "app/source_files.h"
#include "app/source_lines.h"
#include "assembler/compile.h"
#include "base/message_box.h"
#include "ide/code_editor.h"
#include "ide/listing_view.h"
#include "ide/menu_action.h"
#include "run/debug_child.h"
#include "run/debug_session.h"
#include "run/run_engine.h"

namespace orvo::ide {

namespace {

QString Hex8(std::uint32_t value) {
  return QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper();
}

// Rows of the stack panel and bytes of the memory panel.
constexpr int kStackRows = 16;
constexpr int kMemoryRows = 8;
constexpr int kMemoryRowBytes = 16;

}  // namespace

std::set<int> Debugger::Breakpoint_Lines() const { return host_.editor->Breakpoint_Lines(); }

// What the window shows after a command: the state the session's process sent back to the
// worker thread, shown on the window's.
struct DebugSnapshot : DebugState {
  int generation = 0;
};

struct SourceLinesHolder {
  std::string source;  // the lines' text the map views
  SourceLineMap map;
};

namespace {

// Show_Value on the worker thread: the box is shown by the window's thread, whose handler
// decides how; the worker waits for the answer unless the window gives up the session.
class BoxForwarder : public MessageHandler {
 public:
  BoxForwarder(QObject* gui, const std::atomic<bool>& abandon) : gui_(gui), abandon_(abandon) {}
  MsgAnswer Show(const Message& message) override {
    auto answer = std::make_shared<std::promise<MsgAnswer>>();
    std::future<MsgAnswer> future = answer->get_future();
    QMetaObject::invokeMethod(
        gui_,
        [answer, message] { answer->set_value(Show_Message(message.text, message.style, message.title)); },
        Qt::QueuedConnection);
    while (future.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
      if (abandon_.load()) return MsgAnswer::Ok;
    try {
      return future.get();
    } catch (...) {
      return MsgAnswer::Ok;  // the window went away before it showed the box
    }
  }

 private:
  QObject* gui_;
  const std::atomic<bool>& abandon_;
};

}  // namespace

// Owns the session, which runs in the emulator's child process: code the emulator library
// aborts on ends that process, not the window. Every member runs on the worker thread except
// Stop and abandon.
class DebugWorker : public QObject {
 public:
  IsolatedDebugSession session;
  std::atomic<bool> abandon{false};
  // The window's session: commands queued for one that ended are dropped unrun.
  std::atomic<int> live_generation{0};
  bool Live(int generation) const { return live_generation.load() == generation; }

  // What the panels show after each command: the stack rows from ESP and the memory rows.
  static DebugReads Reads(std::uint32_t memory_address) {
    return {kStackRows * 4, memory_address, kMemoryRows * kMemoryRowBytes};
  }
  static DebugSnapshot Snapshot(DebugState state, int generation) {
    DebugSnapshot s;
    static_cast<DebugState&>(s) = std::move(state);
    s.generation = generation;
    return s;
  }
};

Debugger::Debugger(DebugHost host) : QObject(host.window), host_(std::move(host)) {
  setObjectName("Debugger");
  thread_ = new QThread(this);
  worker_ = new DebugWorker;
  worker_->moveToThread(thread_);
  connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
  thread_->start();

  QMainWindow* w = host_.window;
  auto* menu = new QMenu("&Debug", w);
  menu->setObjectName("DebugMenu");
  w->menuBar()->insertMenu(host_.before != nullptr ? host_.before->menuAction() : nullptr, menu);
  auto add = [&](const char* name, const char* text, QList<QKeySequence> keys, void (Debugger::*slot)()) {
    return Add_MenuAction(menu, w, this, name, text, std::move(keys), slot);
  };
  start_ =
      add("ActionDebugStart", "&Start/Continue", {QKeySequence(Qt::Key_F8)}, &Debugger::Start_Or_Continue);
  into_ = add("ActionStepInto", "Step &Into", {QKeySequence(Qt::Key_F11)}, &Debugger::Step_Into);
  over_ = add("ActionStepOver", "Step &Over", {QKeySequence(Qt::Key_F10)}, &Debugger::Step_Over);
  out_ = add("ActionStepOut", "Step O&ut", {QKeySequence(Qt::SHIFT | Qt::Key_F11)}, &Debugger::Step_Out);
  back_ = add("ActionStepBack", "Step &Back", {QKeySequence(Qt::SHIFT | Qt::Key_F10)}, &Debugger::Step_Back);
  run_to_ = add("ActionRunToCursor", "Run to &Cursor", {QKeySequence(Qt::CTRL | Qt::Key_F10)},
                &Debugger::Run_To_Cursor);
  menu->addSeparator();
  stop_ = add("ActionDebugStop", "S&top", {QKeySequence(Qt::SHIFT | Qt::Key_F8)}, &Debugger::Stop);
  menu->addSeparator();
  auto* toggle = new QAction("Toggle &Breakpoint", w);
  toggle->setObjectName("ActionToggleBreakpoint");
  toggle->setShortcut(QKeySequence(Qt::Key_F12));
  connect(toggle, &QAction::triggered, this,
          [this] { Toggle_Breakpoint(host_.editor->textCursor().blockNumber()); });
  menu->addAction(toggle);

  auto* bar = w->addToolBar("Debug");
  bar->setObjectName("DebugToolBar");
  bar->setMovable(false);
  bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  for (QAction* action : {start_, into_, over_, out_, back_, run_to_, stop_}) {
    bar->addAction(action);
    if (QWidget* button = bar->widgetForAction(action)) button->setFocusPolicy(Qt::NoFocus);
  }

  stop_repeat_ = new QTimer(this);
  stop_repeat_->setInterval(50);
  connect(stop_repeat_, &QTimer::timeout, this, [this] {
    if (busy_)
      worker_->session.Stop();
    else
      stop_repeat_->stop();
  });
  host_.editor->Set_Margin_Listener([this](int line) { Toggle_Breakpoint(line); });
  Build_Docks();
  Update_Actions();
}

Debugger::~Debugger() {
  worker_->abandon.store(true);
  worker_->session.Stop();
  thread_->quit();
  thread_->wait();
}

void Debugger::Build_Docks() {
  QMainWindow* w = host_.window;
  QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  mono.setPointSize(9);
  auto make_table = [&](const char* name, QStringList headings, QWidget* parent) {
    auto* table = new QTableWidget(0, static_cast<int>(headings.size()), parent);
    table->setObjectName(name);
    table->setFont(mono);
    table->setHorizontalHeaderLabels(headings);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(QFontMetrics(mono).height() + 4);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    // Columns are fitted once per fill: fitting them on every cell change costs a pass over
    // the table per cell.
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
  };
  auto make_dock = [&](const char* name, const char* title, QWidget* content) {
    auto* dock = new QDockWidget(title, w);
    dock->setObjectName(name);
    dock->setWidget(content);
    w->addDockWidget(Qt::RightDockWidgetArea, dock);
    dock->hide();
    return dock;
  };

  registers_ = make_table("DebugRegisters", {"Register", "Hex", "Decimal"}, w);
  registers_dock_ = make_dock("DebugRegistersDock", "Registers", registers_);
  // No taller than its rows (registers, flags, steps): the stack and memory take the rest.
  const int register_rows = kRegCount + static_cast<int>(std::size(kNamedFlags)) + 1;
  registers_->setMaximumHeight((register_rows + 1) * registers_->verticalHeader()->defaultSectionSize() +
                               2 * registers_->frameWidth() + 4);
  stack_ = make_table("DebugStack", {"Address", "Value", "What"}, w);
  stack_->setMinimumWidth(QFontMetrics(mono).horizontalAdvance(QLatin1Char('0')) * 40);
  QDockWidget* stack_dock = make_dock("DebugStackDock", "Stack", stack_);

  auto* memory_panel = new QWidget(w);
  auto* layout = new QVBoxLayout(memory_panel);
  layout->setContentsMargins(2, 2, 2, 2);
  auto* row = new QHBoxLayout;
  auto* label = new QLabel("Address", memory_panel);
  memory_address_edit_ = new QLineEdit(memory_panel);
  memory_address_edit_->setObjectName("DebugMemoryAddress");
  memory_address_edit_->setToolTip("An address (&H400000, 0x400000 or decimal) or a label; Enter shows it");
  label->setBuddy(memory_address_edit_);
  row->addWidget(label);
  row->addWidget(memory_address_edit_, 1);
  layout->addLayout(row);
  QStringList headings{"Address"};
  for (int i = 0; i < kMemoryRowBytes; ++i) headings << QStringLiteral("%1").arg(i, 0, 16).toUpper();
  headings << "Chars"
           << "Label";
  memory_ = make_table("DebugMemory", headings, memory_panel);
  layout->addWidget(memory_, 1);
  QDockWidget* memory_dock = make_dock("DebugMemoryDock", "Memory", memory_panel);
  connect(memory_address_edit_, &QLineEdit::returnPressed, this, &Debugger::Read_Memory_Address);
  w->tabifyDockWidget(stack_dock, memory_dock);
}

bool Debugger::Begin() {
  if (busy_) return false;
  if (!host_.compile()) return false;
  const CompileSession& session = host_.session();
  const std::string_view code = session.Image().Bytes();
  const std::array<std::string, 4> fields = host_.arguments();
  std::array<std::int32_t, 4> args{};
  for (std::size_t i = 0; i < 4; ++i)
    if (!Parse_ArgumentNumber(fields[i], args[i])) {
      Show_Message(Argument_RangeText(i, fields[i]), MsgStyle::OkExclamation);
      return false;
    }
  lines_ = std::make_unique<SourceLinesHolder>();
  lines_->source = host_.source();
  const Listing& listing = session.Listing_();
  const std::size_t image_size = session.Image().Size();
  stack_frame_ = Has_StackFrame(listing, image_size);
  const std::vector<std::string_view> lines = Split_Lines(lines_->source);
  lines_->map = SourceLineMap(listing, image_size, stack_frame_, lines);
  // Data and code labels: a label's address is that of its line in the listing.
  data_labels_.clear();
  for (std::size_t i = 0; i < lines.size() && i < listing.Line_Count(); ++i) {
    const std::string_view code_part = Code_Part(lines[i]);
    const std::size_t colon = Find_LabelColon(code_part);
    if (colon == std::string_view::npos) continue;
    const std::string address = listing.Address_Decimal(i);
    if (address.empty()) continue;
    const std::uint32_t at = DebugSession::Code_Base() + static_cast<std::uint32_t>(std::stoul(address));
    QString name = QString::fromLatin1(code_part.substr(0, colon)).trimmed();
    data_labels_.push_back({at, name.toStdString()});
  }

  ++generation_;
  active_ = true;
  busy_ = true;
  current_line_ = -1;
  entry_esp_ = 0;
  returned_ = false;
  columns_fitted_ = false;
  last_memory_.clear();
  if (memory_address_ == 0) memory_address_ = DebugSession::Code_Base();
  std::set<std::uint32_t> breakpoints;
  for (int line : host_.editor->Breakpoint_Lines()) {
    const std::uint32_t at = Line_Address(line);
    if (at != 0) breakpoints.insert(at);
  }
  DebugWorker* worker = worker_;
  worker->abandon.store(false);
  const int generation = generation_;
  worker->live_generation.store(generation);
  const std::uint32_t memory_address = memory_address_;
  QMetaObject::invokeMethod(
      worker,
      [this, worker, code = std::string(code), args, breakpoints, generation, memory_address] {
        if (!worker->Live(generation)) return;
        BoxForwarder boxes(this, worker->abandon);
        ScopedMessageHandler scope(boxes);
        DebugSnapshot snapshot = DebugWorker::Snapshot(
            worker->session.Start(code, args, DebugOptions{}, breakpoints, DebugWorker::Reads(memory_address)),
            generation);
        QMetaObject::invokeMethod(
            this, [this, snapshot] { Show(snapshot); }, Qt::QueuedConnection);
      },
      Qt::QueuedConnection);
  Update_Actions();
  for (QDockWidget* dock : host_.window->findChildren<QDockWidget*>())
    if (dock->objectName().startsWith("Debug")) dock->show();
  return true;
}

std::uint32_t Debugger::Line_Address(int line) const {
  if (!lines_ || line < 0) return 0;
  const std::int64_t offset = lines_->map.Offset_Of(static_cast<std::size_t>(line));
  return offset < 0 ? 0 : DebugSession::Code_Base() + static_cast<std::uint32_t>(offset);
}

void Debugger::Send(DebugCommand command, std::uint32_t address) {
  if (busy_) return;
  if (!active_) {
    Begin();  // the session starts at the routine's entry: the first step shows it
    return;
  }
  busy_ = true;
  Update_Actions();
  host_.window->statusBar()->showMessage(command == DebugCommand::Continue ? "Debug: running..."
                                                                      : "Debug: stepping...");
  DebugWorker* worker = worker_;
  const int generation = generation_;
  const std::uint32_t memory_address = memory_address_;
  QMetaObject::invokeMethod(
      worker,
      [this, worker, command, address, generation, memory_address] {
        if (!worker->Live(generation)) return;
        BoxForwarder boxes(this, worker->abandon);
        ScopedMessageHandler scope(boxes);
        DebugSnapshot snapshot = DebugWorker::Snapshot(
            worker->session.Run(command, address, DebugWorker::Reads(memory_address)), generation);
        QMetaObject::invokeMethod(
            this, [this, snapshot] { Show(snapshot); }, Qt::QueuedConnection);
      },
      Qt::QueuedConnection);
}

void Debugger::Start_Or_Continue() {
  if (!active_)
    Begin();
  else
    Send(DebugCommand::Continue);
}
void Debugger::Step_Into() { Send(DebugCommand::StepInto); }
void Debugger::Step_Over() { Send(DebugCommand::StepOver); }
void Debugger::Step_Out() { Send(DebugCommand::StepOut); }
void Debugger::Step_Back() { Send(DebugCommand::StepBack); }

void Debugger::Run_To_Cursor() {
  if (!active_) {
    Begin();
    return;
  }
  const std::uint32_t at = Line_Address(host_.editor->textCursor().blockNumber());
  if (at == 0) {
    host_.window->statusBar()->showMessage("Debug: the cursor's line has no code to run to", 4000);
    return;
  }
  Send(DebugCommand::RunTo, at);
}

void Debugger::Stop() {
  if (busy_) {
    // The session clears a stop when a command begins: a command still queued behind the
    // request would miss it, so the request repeats until the state comes back.
    worker_->session.Stop();
    stop_repeat_->start();
    return;
  }
  End_Session();
}

void Debugger::End_Session() {
  if (!active_) {
    if (current_line_ >= 0) Mark_Line(-1);  // a session that ended with its process
    return;
  }
  worker_->abandon.store(true);
  worker_->session.Stop();
  ++generation_;  // whatever the worker still sends belongs to the session that ended
  worker_->live_generation.store(generation_);
  active_ = false;
  busy_ = false;
  stop_repeat_->stop();
  Mark_Line(-1);
  host_.window->statusBar()->showMessage("Debug: session ended", 3000);
  Update_Actions();
}

void Debugger::Toggle_Breakpoint(int line) {
  if (line < 0 || line >= host_.editor->blockCount()) return;
  const bool on = host_.editor->Toggle_Breakpoint(line);
  if (!active_) return;
  const std::uint32_t at = Line_Address(line);
  if (at == 0) return;
  DebugWorker* worker = worker_;
  // Queued behind a running command: it takes effect from the next one.
  QMetaObject::invokeMethod(
      worker, [worker, at, on] { worker->session.Set_Breakpoint(at, on); }, Qt::QueuedConnection);
}

void Debugger::Read_Memory_Address() {
  const QString text = memory_address_edit_->text().trimmed();
  bool ok = false;
  std::uint32_t address = 0;
  if (text.startsWith("&H", Qt::CaseInsensitive) || text.startsWith("0x", Qt::CaseInsensitive))
    address = text.mid(2).toUInt(&ok, 16);
  else
    address = text.toUInt(&ok, 10);
  if (!ok)
    for (const auto& [at, name] : data_labels_)
      if (text.compare(QString::fromStdString(name), Qt::CaseInsensitive) == 0) {
        address = at;
        ok = true;
        break;
      }
  if (!ok) {
    host_.window->statusBar()->showMessage("Memory: not an address or a label: " + text, 4000);
    return;
  }
  memory_address_ = address;
  last_memory_.clear();
  if (!active_ || busy_) return;
  // A read alone: nothing runs, the panels read again.
  busy_ = true;
  DebugWorker* worker = worker_;
  const int generation = generation_;
  QMetaObject::invokeMethod(
      worker,
      [this, worker, generation, address] {
        if (!worker->Live(generation)) return;
        DebugSnapshot snapshot = DebugWorker::Snapshot(
            worker->session.Run(DebugCommand::Read, 0, DebugWorker::Reads(address)), generation);
        QMetaObject::invokeMethod(
            this, [this, snapshot] { Show(snapshot); }, Qt::QueuedConnection);
      },
      Qt::QueuedConnection);
}

void Debugger::Show(const DebugSnapshot& snapshot) {
  if (snapshot.generation != generation_) return;
  busy_ = false;
  stop_repeat_->stop();
  const RegisterState& r = snapshot.registers;
  if (snapshot.status == DebugStatus::NotStarted) {
    Show_Message("Error in assembler program\r\r" + snapshot.fault_text, MsgStyle::OkExclamation);
    active_ = false;
    Update_Actions();
    return;
  }
  if (entry_esp_ == 0) entry_esp_ = r.esp;  // the first state is the routine's entry
  Show_Registers(snapshot);
  Show_Stack(snapshot);
  Show_Memory(snapshot);
  columns_fitted_ = true;

  const std::uint32_t base = DebugSession::Code_Base();
  const std::uint32_t at = snapshot.status == DebugStatus::Faulted ? snapshot.fault_address : r.eip;
  int line = -1;
  std::string where;
  if (lines_ && at >= base) {
    const SourceLine found = lines_->map.Find(at - base);
    if (found.kind == SourceLine::Kind::Line) line = static_cast<int>(found.index);
    where = lines_->map.Describe(at - base);
  }
  Mark_Line(line);
  const bool returned_before = returned_;
  returned_ = snapshot.status == DebugStatus::Returned;
  QString state;
  switch (snapshot.status) {
    case DebugStatus::Returned:
      state = QStringLiteral("returned EAX=%1").arg(static_cast<std::int32_t>(r.eax));
      break;
    case DebugStatus::Faulted:
      state = "faulted";
      break;
    case DebugStatus::TimedOut:
      state = "timed out";
      break;
    case DebugStatus::Breakpoint:
      state = "breakpoint";
      break;
    case DebugStatus::Stopped:
      state = "stopped";
      break;
    case DebugStatus::NoHistory:
      state = "nothing to step back";
      break;
    default:
      state = "ready";
      break;
  }
  QString message = "Debug: " + state;
  if (!where.empty()) message += " at " + QString::fromLatin1(where.c_str());
  message += QStringLiteral(" (%1 instructions)").arg(r.instructions);
  if (snapshot.history_dropped != 0)
    message += QStringLiteral("; step back reaches %1 steps").arg(snapshot.history_steps);
  if (snapshot.lost) {
    // The emulator's process ended: nothing is left to step or inspect beyond what is shown.
    message += "; session ended";
    active_ = false;
  }
  host_.window->statusBar()->showMessage(message);
  Update_Actions();

  if (snapshot.status == DebugStatus::Faulted || snapshot.status == DebugStatus::TimedOut) {
    std::string text = "Error in assembler program\r\r" + snapshot.fault_text;
    if (!where.empty()) text += "\r" + where;
    Show_Message(text, MsgStyle::OkExclamation);
  } else if (snapshot.status == DebugStatus::Returned && !returned_before) {
    Show_Message("FUNCTION RETURN: " + std::to_string(static_cast<std::int32_t>(r.eax)), MsgStyle::Ok);
  }
}

namespace {
const QColor kChanged(0xFF, 0xE0, 0x80);

// Sets a cell, reusing its item: a new item per cell and step is what a step would cost most.
void Set_Cell(QTableWidget* table, int row, int column, const QString& text, bool changed) {
  QTableWidgetItem* item = table->item(row, column);
  if (item == nullptr) {
    item = new QTableWidgetItem;
    table->setItem(row, column, item);
  }
  if (item->text() != text) item->setText(text);
  const QBrush background = changed ? QBrush(kChanged) : QBrush();
  if (item->background() != background) item->setBackground(background);
}
}  // namespace

void Debugger::Show_Registers(const DebugSnapshot& snapshot) {
  const RegisterState& r = snapshot.registers;
  const std::uint32_t values[kRegCount] = {r.eax, r.ecx, r.edx, r.ebx, r.esp,
                                           r.ebp, r.esi, r.edi, r.eip, r.eflags};
  constexpr int kFlags = static_cast<int>(std::size(kNamedFlags));
  registers_->setRowCount(kRegCount + kFlags + 1);
  for (int i = 0; i < kRegCount; ++i) {
    const bool changed = (snapshot.changed >> i) & 1u;
    Set_Cell(registers_, i, 0, kRegNames[i], changed);
    Set_Cell(registers_, i, 1, "&H" + Hex8(values[i]), changed);
    Set_Cell(registers_, i, 2, QString::number(static_cast<std::int32_t>(values[i])), changed);
  }
  for (int f = 0; f < kFlags; ++f) {
    const bool changed = (snapshot.changed >> (kRegCount + f)) & 1u;
    const bool set = (r.eflags & kNamedFlags[f].mask) != 0;
    const int row = kRegCount + f;
    Set_Cell(registers_, row, 0, kNamedFlags[f].name, changed);
    Set_Cell(registers_, row, 1, set ? "1" : "0", changed);
    Set_Cell(registers_, row, 2, set ? QString(kNamedFlags[f].name) : QString(), changed);
  }
  const int last = kRegCount + kFlags;
  Set_Cell(registers_, last, 0, "Steps", false);
  Set_Cell(registers_, last, 1, QString::number(r.instructions), false);
  Set_Cell(registers_, last, 2, QString(), false);
  // The columns hold values of fixed width but the last, which stretches: fitted once.
  if (!columns_fitted_) registers_->resizeColumnsToContents();
}

void Debugger::Show_Stack(const DebugSnapshot& snapshot) {
  const std::uint32_t esp = snapshot.registers.esp;
  const int rows = static_cast<int>(snapshot.stack.size() / 4);
  stack_->setRowCount(rows);
  for (int i = 0; i < rows; ++i) {
    const std::uint32_t at = esp + static_cast<std::uint32_t>(i) * 4;
    std::uint32_t value = 0;
    for (int b = 3; b >= 0; --b) value = (value << 8) | static_cast<unsigned char>(snapshot.stack[i * 4 + b]);
    // What a slot is follows from where the routine was entered: the return address, the four
    // arguments above it, and with the frame the saved EBP and registers below it.
    QString what;
    const std::int64_t from_entry = static_cast<std::int64_t>(at) - entry_esp_;
    if (from_entry == 0)
      what = "return address";
    else if (from_entry > 0 && from_entry <= 16 && from_entry % 4 == 0)
      what = QStringLiteral("ARG%1").arg(from_entry / 4);
    else if (stack_frame_ && from_entry == -4)
      what = "saved EBP";
    else if (stack_frame_ && from_entry == -8)
      what = "saved EBX";
    else if (stack_frame_ && from_entry == -12)
      what = "saved ESI";
    else if (stack_frame_ && from_entry == -16)
      what = "saved EDI";
    else if (value == DebugSession::Return_Address())
      what = "return address";
    else if (lines_ && value >= DebugSession::Code_Base() && at < entry_esp_) {
      const std::string line = lines_->map.Describe(value - DebugSession::Code_Base());
      if (!line.empty()) what = "code: " + QString::fromLatin1(line.c_str());
    }
    if (at == snapshot.registers.ebp && what.isEmpty()) what = "EBP";
    Set_Cell(stack_, i, 0, "&H" + Hex8(at), false);
    Set_Cell(stack_, i, 1, "&H" + Hex8(value), false);
    Set_Cell(stack_, i, 2, what, false);
  }
  if (!columns_fitted_) {
    stack_->resizeColumnToContents(0);
    stack_->resizeColumnToContents(1);
  }
}

void Debugger::Show_Memory(const DebugSnapshot& snapshot) {
  const std::string& bytes = snapshot.memory;
  const bool compare = snapshot.memory_address == last_memory_address_ && last_memory_.size() == bytes.size();
  const int rows = static_cast<int>((bytes.size() + kMemoryRowBytes - 1) / kMemoryRowBytes);
  memory_->setRowCount(rows);
  for (int row = 0; row < rows; ++row) {
    const std::uint32_t at = snapshot.memory_address + static_cast<std::uint32_t>(row * kMemoryRowBytes);
    Set_Cell(memory_, row, 0, "&H" + Hex8(at), false);
    QString chars;
    for (int col = 0; col < kMemoryRowBytes; ++col) {
      const std::size_t i = static_cast<std::size_t>(row * kMemoryRowBytes + col);
      if (i >= bytes.size()) {
        Set_Cell(memory_, row, 1 + col, QString(), false);
        continue;
      }
      const auto byte = static_cast<unsigned char>(bytes[i]);
      const bool written = compare && last_memory_[i] != bytes[i];
      Set_Cell(memory_, row, 1 + col, QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper(),
               written);
      chars += byte >= 0x20 && byte < 0x7F ? QChar(byte) : QChar('.');
    }
    Set_Cell(memory_, row, 1 + kMemoryRowBytes, chars, false);
    QStringList names;
    for (const auto& [label_at, name] : data_labels_)
      if (label_at >= at && label_at < at + kMemoryRowBytes)
        names << QStringLiteral("+%1 %2").arg(label_at - at).arg(QString::fromStdString(name));
    Set_Cell(memory_, row, 2 + kMemoryRowBytes, names.join(", "), false);
  }
  if (!columns_fitted_ || !compare) memory_->resizeColumnsToContents();
  last_memory_ = bytes;
  last_memory_address_ = snapshot.memory_address;
}

void Debugger::Mark_Line(int line) {
  current_line_ = line;
  host_.editor->Set_Exec_Line(line);
  for (ListingView* column : host_.columns) {
    if (line < 0 || line >= column->model()->rowCount()) {
      column->clearSelection();
      continue;
    }
    const QModelIndex index = column->model()->index(line, 0);
    column->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    column->scrollTo(index);
  }
}

void Debugger::Update_Actions() {
  const bool idle = !busy_;
  start_->setText(active_ ? "&Continue" : "&Start/Continue");
  start_->setEnabled(idle);
  for (QAction* action : {into_, over_, out_, run_to_}) action->setEnabled(idle);
  back_->setEnabled(idle && active_);
  stop_->setEnabled(active_);
}

}  // namespace orvo::ide
