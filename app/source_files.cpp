#include "app/source_files.h"

#include <cstring>
#include <utility>

#include "base/file_access.h"
#include "base/line_feeds.h"
#include "base/message_box.h"

namespace orvo {
namespace {

// clang-format off
constexpr std::array<FileFilter, 3> kSourceFilters{{
    {"ORVO source (*.ASM)", "*.ASM"},
    {"Text Files (*.txt)",  "*.txt"},
    {"All files (*.*)",     "*.*"},
}};
constexpr std::array<FileFilter, 3> kExportFilters{{
    {"Binary file (*.BIN)", "*.BIN"},
    {"Hex file (*.HEX)",    "*.HEX"},
    {"All files (*.*)",     "*.*"},
}};

// Extension by filter index (1..3), per mode (1..3).
constexpr std::array<std::array<std::string_view, 3>, 3> kCompletion{{
    {".ASM", ".TXT", ".ASM"},
    {".ASM", ".TXT", ".ASM"},
    {".BIN", ".HEX", ""},
}};
// clang-format on

void Report_OpenError(const std::string& path, const std::string& description) {
  Show_Message("Error opening: " + path, MsgStyle::OkCritical, description);
}

}  // namespace

std::optional<DialogRequest> Dialog_Request(int mode) {
  DialogRequest r;
  r.mode = mode;
  switch (mode) {
    case kDialogOpen:
      r.title = "Open ORVO source";
      r.filters = kSourceFilters;
      r.must_exist = true;
      break;
    case kDialogSave:
      r.title = "Save ORVO source";
      r.filters = kSourceFilters;
      r.save = r.confirm_overwrite = true;
      break;
    case kDialogExport:
      r.title = "Export ORVO compiler output";
      r.filters = kExportFilters;
      r.save = r.confirm_overwrite = true;
      break;
    default:
      return std::nullopt;
  }
  r.start_folder = Current_Folder();
  return r;
}

bool Has_Extension(std::string_view file) {
  const std::size_t slash = file.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? file : file.substr(slash + 1);
  return name.find('.') != std::string_view::npos;
}

std::string_view Completion_Extension(int mode, int filter_index) {
  if (mode < 1 || mode > 3 || filter_index < 1 || filter_index > 3) return {};
  return kCompletion[mode - 1][filter_index - 1];
}

DialogOutcome Decide_Dialog(int mode, const DialogReply& reply) {
  DialogOutcome out;
  if (!reply.confirmed || reply.file.empty() || mode < 1 || mode > 3) return out;
  // The name ends at its first NUL, as the dialog's buffer does.
  out.file = reply.file.substr(0, reply.file.find('\0'));
  if (out.file.empty()) return out;
  if (!Has_Extension(out.file)) out.file += Completion_Extension(mode, reply.filter_index);
  if (mode == kDialogExport) out.export_form = reply.filter_index == 2 ? ExportForm::Hex : ExportForm::Bin;
  return out;
}

namespace {
// How many LFs of text have no CR before them.
std::size_t Count_LoneLineFeeds(std::string_view text) {
  std::size_t lone = 0;
  For_Each_LineFeed(text, [&](std::size_t lf) { lone += lf == 0 || text[lf - 1] != '\r'; });
  return lone;
}

std::string Mend_Into_Copy(std::string_view bytes, std::size_t lone) {
  // The runs between the lone LFs go into a buffer of the exact size (a big Unix file would
  // otherwise grow the buffer by doubling).
  std::string out(bytes.size() + lone, '\0');
  char* o = out.data();
  std::size_t run = 0;
  For_Each_LineFeed(bytes, [&](std::size_t lf) {
    if (lf > 0 && bytes[lf - 1] == '\r') return;
    std::memcpy(o, bytes.data() + run, lf - run);
    o += lf - run;
    *o++ = '\r';
    run = lf;
  });
  if (bytes.size() != run) std::memcpy(o, bytes.data() + run, bytes.size() - run);
  return out;
}
}  // namespace

std::string Mend_LineEnds(std::string_view bytes) {
  return Mend_Into_Copy(bytes, Count_LoneLineFeeds(bytes));
}

std::string Mend_LineEnds(std::string&& bytes) {
  // Growing the buffer in place would double its capacity (and the compile would then copy it
  // to shrink it): a text that needs mending goes once into a buffer of the exact size instead.
  const std::size_t lone = Count_LoneLineFeeds(bytes);
  if (lone == 0) return std::move(bytes);
  return Mend_Into_Copy(bytes, lone);
}

std::optional<std::string> Load_SourceFile(const std::string& path) {
  std::string error;
  ReadLimits limits;
  limits.max_bytes = kMaxSourceBytes;
  limits.regular_only = true;
  auto bytes = Read_Whole_File(path, error, limits);
  if (!bytes) {
    Report_OpenError(path, error);
    return std::nullopt;
  }
  return Mend_LineEnds(std::move(*bytes));
}

bool Save_SourceFile(const std::string& path, std::string_view text) {
  return Write_File_Safely(path, text, FailureMode::Stop,
                           [&](const std::string& description) { Report_OpenError(path, description); });
}

}  // namespace orvo
