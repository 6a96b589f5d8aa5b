// orvo: the assembler and runner from a shell.
//   orvo build [--stack] [--format hex|bin] [-o OUT] [--messages text|json] SOURCE
//   orvo list  [--stack] [--messages text|json] SOURCE
//   orvo run   [--stack] [--messages text|json] [--timeout SECONDS] [--registers] SOURCE [ARG1..ARG4]
//   orvo trace [--stack] [--messages text|json] [--timeout SECONDS] [--max-steps N] SOURCE [ARG1..ARG4]
// Exit status: 0 ran to its end, 1 the compile stopped or the run failed, 2 usage or SOURCE error.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "app/help_file.h"
#include "base/file_access.h"
#include "base/hex.h"
#include "cli/cli_support.h"
#include "run/run_engine.h"

namespace orvo::cli {
namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

void Add_Common(CLI::App* app, CommonOptions& o) {
  app->add_flag("--stack", o.stack, "Wrap the code in the save/restore-stack prologue and epilogue");
  app->add_option("--messages", o.messages, "How message boxes are printed")
      ->check(CLI::IsMember({"text", "json"}))
      ->default_str("text");
  app->add_option("SOURCE", o.source, "Source file, or - for standard input")->required();
}

MessageFormat Format_Of(const CommonOptions& o) {
  return o.messages == "json" ? MessageFormat::Json : MessageFormat::Text;
}

// Compiles SOURCE with boxes printed on out. Returns the exit status so far (kOk when finished).
int Compile_Source(const CommonOptions& o, std::FILE* out, CompileSession& session) {
  auto text = Read_SourceBytes(o.source);
  if (!text) return kUsage;
  PrintingMessageHandler printer(out, Format_Of(o));
  ScopedMessageHandler scope(printer);
  CompileOptions options;
  options.stack = o.stack;
  // The lone LFs end lines where they stand: mending them would copy the whole file.
  return session.Compile_Owned(std::move(*text), options, LineBreaks::CrLfOrLf) == CompileOutcome::Finished
             ? kOk
             : kFailed;
}

// True when OUT names the file SOURCE is read from (through a link, a hard link or standard
// input): writing the code there would destroy the program.
bool Same_File(const std::string& source, const std::string& out_path) {
  struct stat in {};
  struct stat out {};
  const int got = source == "-" ? ::fstat(STDIN_FILENO, &in) : ::stat(source.c_str(), &in);
  return got == 0 && ::stat(out_path.c_str(), &out) == 0 && S_ISREG(in.st_mode) && in.st_dev == out.st_dev &&
         in.st_ino == out.st_ino;
}

int Build(const CommonOptions& o, const std::string& format, const std::string& out_path) {
  const bool to_stdout = out_path.empty() || out_path == "-";
  if (!to_stdout && Same_File(o.source, out_path)) {
    std::fprintf(stderr, "orvo: -o %s names the source file; the code would replace the program\n",
                 out_path.c_str());
    return kUsage;
  }
  CompileSession session;
  const int status = Compile_Source(o, stderr, session);
  if (status != kOk) return status;
  const std::string_view image = session.Image().Bytes();
  const bool as_hex = format != "bin";
  // The hex text is made piece by piece as it is written: it would be twice the image.
  if (to_stdout) {
    const auto put = [](std::string_view piece) { return Write_Stream(stdout, piece); };
    if (!as_hex) return put(image) ? kOk : kFailed;
    return Put_Hex_Text(image, put) && put("\n") ? kOk : kFailed;
  }
  // Devices and pipes (-o /dev/null) are written in place by the safe writer.
  const auto pieces = [&](const BytePut& put) {
    if (as_hex)
      Put_Hex_Text(image, put);
    else
      put(image);
  };
  bool ok = Write_File_Safely(out_path, pieces, FailureMode::Stop, [&](const std::string& description) {
    std::fprintf(stderr, "orvo: cannot write %s: %s\n", out_path.c_str(), description.c_str());
  });
  return ok ? kOk : kFailed;
}

int List(const CommonOptions& o) {
  CompileSession session;
  const int status = Compile_Source(o, stderr, session);
  if (status != kOk) return status;
  const Listing& listing = session.Listing_();
  // Rows go out in pieces of about 64 KiB: the listing of a big program is many times its code.
  constexpr std::size_t kPieceBytes = std::size_t{1} << 16;
  std::string out;
  out.reserve(2 * kPieceBytes);
  for (std::size_t i = 0; i < listing.Line_Count(); ++i) {
    out.append(listing.Address_Decimal(i)).push_back('\t');
    out.append(listing.Address_Hex(i)).push_back('\t');
    out.append(listing.Hex_Entry(i)).push_back('\t');
    out.append(listing.PreCode_Line(i)).push_back('\n');
    if (out.size() >= kPieceBytes) {
      if (!Write_Stream(stdout, out)) return kFailed;
      out.clear();
    }
  }
  return Write_Stream(stdout, out) ? kOk : kFailed;
}

// --timeout: a plain positive number of seconds; beyond the engine's range it is capped, and
// the user is told.
constexpr double kMinTimeout = kMinTimeoutSeconds;
constexpr double kMaxTimeout = kMaxTimeoutSeconds;

std::string Seconds_Text(double seconds) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", seconds);
  return buf;
}

std::string Check_Timeout(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(begin, &end);
  const bool number = end != begin && *end == '\0' && !std::isspace(static_cast<unsigned char>(*begin));
  if (!number || !std::isfinite(value) || value <= 0)
    return "expects seconds greater than 0 (at most " + Seconds_Text(kMaxTimeout) + "; less than " +
           Seconds_Text(kMinTimeout) + " counts as " + Seconds_Text(kMinTimeout) + "), not " + text;
  return {};
}

double Capped_Timeout(double seconds, const std::string& text) {
  if (seconds > kMaxTimeout) {
    std::fprintf(stderr, "orvo: --timeout %s is more than %g seconds; the routine gets %g\n", text.c_str(),
                 kMaxTimeout, kMaxTimeout);
    return kMaxTimeout;
  }
  if (seconds < kMinTimeout) {
    std::fprintf(stderr, "orvo: --timeout %s is less than %g seconds; the routine gets %g\n", text.c_str(),
                 kMinTimeout, kMinTimeout);
    return kMinTimeout;
  }
  return seconds;
}

// A token that is an argument even though it begins with '-': "-" (standard input) and numbers
// such as -3, -.5 or -&H10. No option begins with a digit, '.' or '&'.
bool Is_Positional(std::string_view token) {
  if (token.size() < 2 || token[0] != '-') return true;
  return std::isdigit(static_cast<unsigned char>(token[1])) || token[1] == '.' || token[1] == '&';
}

// The parser reads "-.5" as an option and stops at "--" inside a subcommand, so SOURCE and the
// arguments are picked out of the subcommand's tokens here and handed to their positional
// options in order; only options are left for the parser. Returns false (with a message) when
// more arguments were given than the subcommand takes.
bool Take_Positionals(CLI::App& app, std::vector<std::string>& tokens) {
  CLI::App* sub = nullptr;
  auto name_at = std::find_if(tokens.begin() + 1, tokens.end(), [&](const std::string& t) {
    for (CLI::App* candidate : app.get_subcommands([](CLI::App*) { return true; }))
      if (candidate->check_name(t)) sub = candidate;
    return sub != nullptr;
  });
  if (sub == nullptr) return true;
  std::vector<std::string> kept(tokens.begin(), name_at + 1);
  std::vector<std::string> positionals;
  bool only_positionals = false;
  for (auto it = name_at + 1; it != tokens.end(); ++it) {
    const std::string& t = *it;
    if (only_positionals || Is_Positional(t)) {
      positionals.push_back(t);
      continue;
    }
    if (t == "--") {
      only_positionals = true;
      continue;
    }
    kept.push_back(t);
    // An option's value is the next token, whatever it looks like, unless it came with the
    // option ("--timeout=5", "-ofile").
    const bool is_long = t.rfind("--", 0) == 0;
    if ((is_long && t.find('=') != std::string::npos) || (!is_long && t.size() > 2)) continue;
    const CLI::Option* option = sub->get_option_no_throw(t);
    if (option != nullptr && option->get_expected_min() > 0 && it + 1 != tokens.end()) kept.push_back(*++it);
  }
  auto next = positionals.begin();
  for (CLI::Option* option : sub->get_options([](const CLI::Option* o) { return o->get_positional(); })) {
    for (int taken = 0; taken < option->get_items_expected_max() && next != positionals.end(); ++taken)
      option->add_result(*next++);
  }
  if (next != positionals.end()) {
    std::fprintf(stderr, "orvo: %s takes no argument %s\nRun with --help for more information.\n",
                 sub->get_name().c_str(), next->c_str());
    return false;
  }
  tokens = std::move(kept);
  return true;
}

// A standard stream that was closed would be reused by the next file opened (the code file
// would get the boxes). Each closed one is held by /dev/null opened the wrong way round, so
// using it still fails as a closed stream does.
void Hold_Closed_Standard_Streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int held = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
    if (held >= 0 && held != fd) {
      ::dup2(held, fd);
      ::close(held);
    }
  }
}

// The options run and trace share, before their own: --stack, --messages and --timeout (its text
// kept to say when the value is capped).
void Add_RoutineOptions(CLI::App* app, CommonOptions& o, const char* messages_help, double& timeout_seconds,
                        std::string& timeout_text) {
  app->add_flag("--stack", o.stack, "Wrap the code in the save/restore-stack prologue and epilogue");
  app->add_option("--messages", o.messages, messages_help)->check(CLI::IsMember({"text", "json"}));
  app->add_option("--timeout", timeout_seconds,
                  "Seconds the routine may run (" + Seconds_Text(kMinTimeout) + " to " +
                      Seconds_Text(kMaxTimeout) + ")")
      ->check(
          [&timeout_text](const std::string& text) {
            timeout_text = text;
            return Check_Timeout(text);
          },
          "SECONDS");
}

// SOURCE and up to four arguments, after the options.
void Add_RoutineSource(CLI::App* app, CommonOptions& o, std::vector<std::string>& arguments) {
  app->add_option("SOURCE", o.source, "Source file, or - for standard input")->required();
  app->add_option("ARGS", arguments, "Up to four arguments")->expected(0, 4);
}

int Main(int argc, char** argv) {
  CLI::App app{"ORVO: assemble and run short 32-bit x86 routines", "orvo"};
  app.require_subcommand(1);
  app.footer("The language, its instructions and the window: " + Help_File_Path() + "\nSee also orvo(1).");

  CommonOptions build_opts;
  std::string format = "hex";
  std::string out_path;
  auto* build = app.add_subcommand("build", "Assemble SOURCE and write the code image");
  Add_Common(build, build_opts);
  build->add_option("--format", format, "hex (default) or bin")->check(CLI::IsMember({"hex", "bin"}));
  build->add_option("-o", out_path, "Write to this file instead of standard output");

  CommonOptions list_opts;
  auto* list = app.add_subcommand("list", "Assemble SOURCE and print the listing, one row per line");
  Add_Common(list, list_opts);

  RunOptions run_opts;
  std::string timeout_text;
  auto* run = app.add_subcommand("run", "Assemble SOURCE and run it with up to four arguments");
  Add_RoutineOptions(run, run_opts.common, "How message boxes are printed", run_opts.timeout_seconds,
                     timeout_text);
  run->add_flag("--registers", run_opts.registers, "Print the registers after the routine returned");
  Add_RoutineSource(run, run_opts.common, run_opts.arguments);

  TraceOptions trace_opts;
  auto* trace = app.add_subcommand(
      "trace",
      "Assemble SOURCE and run it one instruction at a time: a row per instruction (step, source line, "
      "address, bytes, source text, the registers and flags it changed), then the result as run prints it");
  std::string trace_timeout_text;
  Add_RoutineOptions(trace, trace_opts.common,
                     "How rows and message boxes are printed (json: one object per step with the full state)",
                     trace_opts.timeout_seconds, trace_timeout_text);
  trace
      ->add_option("--max-steps", trace_opts.max_steps,
                   "Instructions traced before the trace stops (1000000)")
      ->check(CLI::PositiveNumber);
  Add_RoutineSource(trace, trace_opts.common, trace_opts.arguments);

  std::vector<std::string> tokens(argv, argv + argc);
  if (!Take_Positionals(app, tokens)) return kUsage;
  std::vector<const char*> options;
  for (const std::string& t : tokens) options.push_back(t.c_str());
  try {
    app.parse(static_cast<int>(options.size()), options.data());
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : kUsage;
  }
  if (*build) return Build(build_opts, format, out_path);
  if (*list) return List(list_opts);
  if (*run) {
    run_opts.timeout_seconds = Capped_Timeout(run_opts.timeout_seconds, timeout_text);
    return Run_Command(run_opts);
  }
  if (*trace) {
    trace_opts.timeout_seconds = Capped_Timeout(trace_opts.timeout_seconds, trace_timeout_text);
    return Trace_Command(trace_opts);
  }
  return kUsage;
}

}  // namespace
}  // namespace orvo::cli

int main(int argc, char** argv) {
  using namespace orvo::cli;
  Hold_Closed_Standard_Streams();
  try {
    return Finish_Output(Main(argc, argv));
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "orvo: out of memory\n");
    return 1;
  }
}
