#pragma once
// The debugger of the window: the Debug menu and toolbar, the Registers, Stack and Memory docks,
// the breakpoint margin's breakpoints and the current line in the editor and the listing. The
// debug session runs in the emulator's child process, driven from a worker thread of its own, so
// a long continue never freezes the window, Stop ends it at once, and code the emulator library
// aborts on costs the session, not the window.

#include <QObject>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class QAction;
class QLineEdit;
class QMainWindow;
class QMenu;
class QTableWidget;
class QThread;
class QTimer;
class QDockWidget;

namespace orvo {
class CompileSession;
enum class DebugCommand : std::uint8_t;
}

namespace orvo::ide {

class CodeEditor;
class ListingView;

// What the debugger needs of the window.
struct DebugHost {
  QMainWindow* window = nullptr;
  CodeEditor* editor = nullptr;
  std::vector<ListingView*> columns;  // the listing columns, one row per source line
  // Compiles the editor text unless the compile of it is current; true when it finished.
  std::function<bool()> compile;
  std::function<const CompileSession&()> session;
  // The four argument fields as typed.
  std::function<std::array<std::string, 4>()> arguments;
  // The source as the editor holds it (CR LF between lines).
  std::function<std::string()> source;
  // The menu goes in front of this one (the Help menu).
  QMenu* before = nullptr;
};

struct DebugSnapshot;
class DebugWorker;

class Debugger : public QObject {
 public:
  explicit Debugger(DebugHost host);
  ~Debugger() override;

  // Ends the session (the source changed): the panels keep what they showed, the line mark goes.
  void End_Session();
  bool Active() const { return active_; }
  // A command has been sent and its state has not come back yet.
  bool Busy() const { return busy_; }
  // The editor's breakpoints (0-based lines); they follow the text as it is edited.
  std::set<int> Breakpoint_Lines() const;
  // The source line (0-based) of EIP, -1 outside the routine's lines.
  int Current_Line() const { return current_line_; }

  void Start_Or_Continue();
  void Step_Into();
  void Step_Over();
  void Step_Out();
  void Step_Back();
  void Run_To_Cursor();
  void Stop();
  void Toggle_Breakpoint(int line);

 private:
  bool Begin();
  void Send(DebugCommand command, std::uint32_t address = 0);
  void Show(const DebugSnapshot& snapshot);
  void Show_Registers(const DebugSnapshot& snapshot);
  void Show_Stack(const DebugSnapshot& snapshot);
  void Show_Memory(const DebugSnapshot& snapshot);
  void Mark_Line(int line);
  void Update_Actions();
  void Read_Memory_Address();
  std::uint32_t Line_Address(int line) const;
  void Build_Docks();

  DebugHost host_;
  QThread* thread_ = nullptr;
  QTimer* stop_repeat_ = nullptr;
  DebugWorker* worker_ = nullptr;
  bool active_ = false;
  bool busy_ = false;
  int generation_ = 0;
  int current_line_ = -1;
  bool stack_frame_ = false;
  bool returned_ = false;  // the last state shown was the routine's return
  bool columns_fitted_ = false;  // the panels' columns were fitted to the session's first state
  std::uint32_t entry_esp_ = 0;
  std::uint32_t memory_address_ = 0;
  std::string last_memory_;  // the memory panel's bytes before the last command
  std::uint32_t last_memory_address_ = 0;
  // Source line (0-based) of each code offset's line start, for run to cursor and breakpoints.
  std::vector<std::int64_t> line_offsets_;
  std::vector<std::pair<std::uint32_t, std::string>> data_labels_;  // address, name
  std::unique_ptr<struct SourceLinesHolder> lines_;

  QAction* start_ = nullptr;
  QAction* into_ = nullptr;
  QAction* over_ = nullptr;
  QAction* out_ = nullptr;
  QAction* back_ = nullptr;
  QAction* run_to_ = nullptr;
  QAction* stop_ = nullptr;
  QDockWidget* registers_dock_ = nullptr;
  QTableWidget* registers_ = nullptr;
  QTableWidget* stack_ = nullptr;
  QTableWidget* memory_ = nullptr;
  QLineEdit* memory_address_edit_ = nullptr;
};

}  // namespace orvo::ide
