#pragma once
// Source files and the decisions of the file dialogs, without any toolkit: what each dialog
// asks for, how a typed name is completed from the chosen filter, whether Export writes BIN or
// HEX, and loading and saving the editor text as bytes.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orvo {

// Dialog modes of CmDialog.
inline constexpr int kDialogOpen = 1;
inline constexpr int kDialogSave = 2;
inline constexpr int kDialogExport = 3;

struct FileFilter {
  std::string_view name;     // shown to the user, e.g. "ORVO source (*.ASM)"
  std::string_view pattern;  // "*.ASM"
};

// What a dialog of one mode asks the user.
struct DialogRequest {
  int mode = 0;
  std::string_view title;
  std::array<FileFilter, 3> filters{};
  bool save = false;               // save dialog (else open dialog)
  bool must_exist = false;         // the chosen file must exist (open)
  bool confirm_overwrite = false;  // an existing file is replaced only after the user agrees
  int filter_index = 1;            // filter selected when the dialog opens (1-based)
  std::string start_folder;        // the process's current directory
};

// The request for a mode, or nullopt for a mode outside 1..3 (no dialog is shown then).
std::optional<DialogRequest> Dialog_Request(int mode);

// What the user did with the dialog.
struct DialogReply {
  bool confirmed = false;
  std::string file;      // the chosen name as the dialog returned it
  int filter_index = 1;  // 1-based index of the filter left selected
};

// True when the name's last path component has a dot, that is an extension of its own.
bool Has_Extension(std::string_view file);

// The extension a name without one receives: ".ASM"/".TXT"/".ASM" for source files,
// ".BIN"/".HEX"/none for export; empty for an unknown mode or index.
std::string_view Completion_Extension(int mode, int filter_index);

enum class ExportForm { None, Bin, Hex };

struct DialogOutcome {
  std::string file;  // empty: cancelled (nothing to do)
  ExportForm export_form = ExportForm::None;
};

// CmDialog's decisions after the dialog closed: completes the name and, for Export, picks the
// form by filter (1 BIN, 2 HEX, 3 BIN).
DialogOutcome Decide_Dialog(int mode, const DialogReply& reply);

// The most a source file may hold, in the window and on the command line.
inline constexpr std::size_t kMaxSourceBytes = std::size_t{256} << 20;

// Every LF not preceded by CR becomes CR LF, so text files from any system load line by line.
std::string Mend_LineEnds(std::string_view bytes);
// The same, keeping the text's own buffer when nothing needs mending; otherwise the result is
// one allocation of the exact size.
std::string Mend_LineEnds(std::string&& bytes);

// Reads a source file as bytes (line ends mended). A failure shows "Error opening: " + path,
// titled with the system's description, and gives nullopt; a missing file is a failure, and so
// is anything but a regular file (a pipe would wait for its writer) or one beyond kMaxSourceBytes.
std::optional<std::string> Load_SourceFile(const std::string& path);

// Writes the editor text as bytes through a temporary file and a rename, so the old file stays
// whole until the new one is complete. A failure shows the "Error opening: " box; returns success.
bool Save_SourceFile(const std::string& path, std::string_view text);

}  // namespace orvo
