#pragma once
// The workbench window ORVOIDE: the source editor, the listing columns that the compile fills
// row by row beside it, the argument fields of RUN and the buttons, with menus, a toolbar, a
// register dock and a status bar around them.

#include <QMainWindow>
#include <QStringList>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "assembler/compile.h"
#include "ide/file_chooser.h"

class QAction;
class QCheckBox;
class QDockWidget;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QThread;
class QTimer;

namespace orvo {
class RunEngine;
}

namespace orvo::ide {

class CodeEditor;
class ErrorList;
class Debugger;
class FindReplace;
class HelpViewer;
class ListingView;

// The source the editor starts with (eight lines, each ended by CR LF).
extern const std::string_view kDefaultSource;

// Caption of the window; the file name and a modified mark go in front of it.
inline constexpr const char* kWindowCaption = "IDE: Corvane";
// Recent files kept in the File menu.
inline constexpr int kMaxRecentFiles = 8;

class MainWindow : public QMainWindow {
 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  // Event handlers.
  void Form_Load();
  void Text1_Change();
  void Command1_Click();  // Compile
  void Command2_Click();  // Help, context 1
  void Command3_Click();  // RUN: off this thread; the window keeps working until it ends
  void Stop_Run();        // asks a RUN under way to end
  void Command4_Click();  // Export
  void CmdOpen_Click();
  void CmdSave_Click();  // Save: the current file, or Save As when there is none
  void Save_As();
  void New_Source();
  void Open_Recent(const std::string& file_name);

  // File dialog of a mode (1 open, 2 save, 3 export); exports in mode 3. Returns the file name,
  // empty when cancelled.
  std::string CmDialog(int mode);
  // Loads a file into the editor; false (and the editor unchanged) when it cannot be read.
  bool Load_Source(const std::string& file_name);
  // Writes the editor text to a file; it becomes the current file. False when it failed.
  bool Save_Source(const std::string& file_name);
  // Opens the help file at a context; false when it could not be opened.
  bool Open_Help(int context);
  // F1 in the editor: the help at the instruction under the cursor, else at its line's, else
  // the contents.
  void Help_At_Cursor(const QString& word, const QString& first);

  // The editor text as bytes (CR LF between lines) and back.
  std::string Editor_Bytes() const;
  void Set_Editor_Bytes(std::string_view bytes);

  // Dialogs come from chooser from now on; nullptr restores Qt's file dialog.
  void Set_FileChooser(FileChooser* chooser) { chooser_ = chooser; }
  const CompileSession& Session() const { return session_; }
  bool Running() const { return running_; }
  ErrorList* Error_List() const { return errors_; }
  HelpViewer* Help() const { return help_; }
  const std::string& Current_File() const { return current_file_; }
  QStringList Recent_Files() const { return recent_; }
  QMenu* Recent_Menu() const { return recent_menu_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Build_Controls();
  void Build_Menus();
  void Build_StatusBar();
  QWidget* Build_Panes();
  QWidget* Build_Bottom();
  void Size_For_Default_Source();
  void Follow_Editor();
  void Follow_Column(int value);
  void Show_Listing();
  void Clear_Listing();
  void Export_Image(const std::string& file_name, bool as_hex);
  void Set_Run_Enabled(bool enabled);
  // While a RUN is under way: Stop on, everything that would change the source or the code off.
  void Set_Running(bool running);
  void Update_Title();
  void Update_Cursor_Status();
  // With unsaved edits: asks Save / Discard / Cancel. True when the caller may go on.
  bool Maybe_Save();
  void Remember_File(const std::string& file_name);
  void Rebuild_Recent_Menu();
  void Go_To_Line();
  // Puts the cursor on a line (0-based) and the keyboard in the editor, the columns beside it.
  void Jump_To_Line(int line);
  // The boxes of the last compile into the error list and their lines marked.
  void Show_Compile_Boxes();
  void Show_About();
  void Restore_Settings();
  void Save_Settings() const;
  void Build_Debugger(QMenu* before);

  CodeEditor* text1_ = nullptr;
  ListingView* text2_ = nullptr;
  ListingView* text3_ = nullptr;
  ListingView* pre_code_ = nullptr;
  ListingView* list1_ = nullptr;
  ListingView* list2_ = nullptr;
  QLineEdit* args_[4] = {};
  QPushButton* command1_ = nullptr;
  QPushButton* command2_ = nullptr;
  QPushButton* command3_ = nullptr;
  QPushButton* command4_ = nullptr;
  QPushButton* cmd_open_ = nullptr;
  QPushButton* cmd_save_ = nullptr;
  QCheckBox* check_stack_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QDockWidget* register_dock_ = nullptr;
  QPlainTextEdit* registers_ = nullptr;
  QDockWidget* error_dock_ = nullptr;
  ErrorList* errors_ = nullptr;
  HelpViewer* help_ = nullptr;
  FindReplace* find_ = nullptr;
  QAction* run_action_ = nullptr;
  QAction* stop_action_ = nullptr;
  QTimer* stop_repeat_ = nullptr;
  // Runs go to one thread that lives as long as the window: the emulator's child process is
  // bound to the thread that started it and would die with a thread per run.
  QThread* run_thread_ = nullptr;
  QObject* run_context_ = nullptr;
  QAction* stack_action_ = nullptr;
  QMenu* recent_menu_ = nullptr;
  QLabel* status_compile_ = nullptr;
  QLabel* status_size_ = nullptr;
  QLabel* status_cursor_ = nullptr;
  QLabel* status_run_ = nullptr;
  bool syncing_ = false;
  bool running_ = false;
  bool stop_requested_ = false;
  bool close_after_run_ = false;

  std::string current_file_;
  std::string last_folder_;
  QStringList recent_;

  CompileSession session_;
  std::unique_ptr<RunEngine> engine_;
  QtFileChooser qt_chooser_;
  FileChooser* chooser_ = nullptr;
  Debugger* debugger_ = nullptr;
};

}  // namespace orvo::ide
