#pragma once
// The workbench window ORVOIDE: the source editor, the listing columns that the compile fills
// row by row beside it, the argument fields of RUN and the buttons.

#include <QWidget>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "assembler/compile.h"
#include "ide/qt/file_chooser.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace orvo {
class RunEngine;
}

namespace orvo::ide {

class CodeEditor;
class HelpViewer;
class ListingView;

// The source the editor starts with (eight lines, each ended by CR LF).
extern const std::string_view kDefaultSource;

// Client area of the window in twips, and the twips in a logical inch.
inline constexpr int kClientTwipsWidth = 9285;
inline constexpr int kClientTwipsHeight = 6525;
inline constexpr double kTwipsPerInch = 1440.0;

class MainWindow : public QWidget {
 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  // Event handlers.
  void Form_Load();
  void Text1_Change();
  void Command1_Click();  // Compile
  void Command2_Click();  // Help, context 1
  void Command3_Click();  // RUN
  void Command4_Click();  // Export
  void CmdOpen_Click();
  void CmdSave_Click();

  // File dialog of a mode (1 open, 2 save, 3 export); exports in mode 3. Returns the file name,
  // empty when cancelled.
  std::string CmDialog(int mode);
  void Load_Source(const std::string& file_name);
  void Save_Source(const std::string& file_name);
  // Opens the help file at a context; false when it could not be opened.
  bool Open_Help(int context);

  // The editor text as bytes (CR LF between lines) and back.
  std::string Editor_Bytes() const;
  void Set_Editor_Bytes(std::string_view bytes);

  // Dialogs come from chooser from now on; nullptr restores Qt's file dialog.
  void Set_FileChooser(FileChooser* chooser) { chooser_ = chooser; }
  const CompileSession& Session() const { return session_; }
  HelpViewer* Help() const { return help_; }
  // Pixels per twip on this screen.
  double Twips_Scale() const { return scale_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct Placed {
    QWidget* widget;
    int left, top, width, height;  // twips
  };
  void Build_Controls();
  void Place_Controls();
  void Sync_Scrolling();
  void Show_Listing();
  void Export_Image(const std::string& file_name, bool as_hex);

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
  QPlainTextEdit* registers_ = nullptr;
  HelpViewer* help_ = nullptr;
  std::vector<Placed> placed_;
  double scale_ = 96.0 / kTwipsPerInch;
  bool syncing_ = false;

  CompileSession session_;
  std::unique_ptr<RunEngine> engine_;
  QtFileChooser qt_chooser_;
  FileChooser* chooser_ = nullptr;
};

}  // namespace orvo::ide
