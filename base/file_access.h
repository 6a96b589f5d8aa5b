#pragma once
// Whole-file operations with the platform's wording of each failure. Saving is safe: the bytes
// go to a temporary file in the same folder, which then replaces the target by a rename, so a
// failing step never costs the previous file.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace orvo {

// How a sequence of file steps treats a failing step.
enum class FailureMode {
  GoOn,  // report it and carry on with the next step (code file, export)
  Stop,  // report it and skip the rest (source files)
};

// The steps of a save, in order; tests may inject a failure into any of them.
enum class FileStep { Open, Write, Close, Replace };

using FileErrorReport = std::function<void(const std::string& description)>;

bool File_Exists(const std::string& path);

// Writes bytes to path through a temporary file and a rename. Each failing step is reported
// once (with GoOn, later steps that cannot run report their own failure, as the platform
// would); the previous file is replaced only when every step succeeded. Returns success.
// The temporary file has no name while it is written (O_TMPFILE) where the file system allows,
// so a killed writer leaves nothing behind; elsewhere it has a short name of ours, and stale
// ones of dead writers are removed by the next write into that folder. A symbolic link is
// followed by the kernel's rules: the file it points at is replaced (created when missing) and
// the link stays. A replaced file keeps its permission bits.
bool Write_File_Safely(const std::string& path, std::string_view bytes, FailureMode mode,
                       const FileErrorReport& report);

// Takes one piece of the bytes; false when the write failed and no more pieces are wanted.
using BytePut = std::function<bool(std::string_view piece)>;
// Hands the bytes of a file to put piece by piece, in order, and stops when put returns false.
using BytePieces = std::function<void(const BytePut& put)>;
// The same safe write with the bytes made as they are written (a large text is never held
// whole). A failed write is reported once, when the pieces have stopped.
bool Write_File_Safely(const std::string& path, const BytePieces& pieces, FailureMode mode,
                       const FileErrorReport& report);

struct ReadLimits {
  std::size_t max_bytes = static_cast<std::size_t>(-1);  // more is refused with a description
  bool regular_only = false;  // refuse pipes and devices (opened without waiting for a writer)
};

// Reads the whole file. On failure returns nullopt and error gets the description.
std::optional<std::string> Read_Whole_File(const std::string& path, std::string& error,
                                           const ReadLimits& limits = {});
// Reads an open descriptor to its end (standard input).
std::optional<std::string> Read_Whole_Descriptor(int fd, std::string& error, std::size_t max_bytes);

// Folder of the running program, without a trailing separator.
std::string Program_Folder();
std::string Current_Folder();

// Platform description of an errno value.
std::string Error_Description(int error_number);
// "256 MiB" for whole mebibytes, else "N bytes".
std::string Size_Text(std::size_t bytes);


}  // namespace orvo
