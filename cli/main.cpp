// orvo: the assembler and runner from a shell.
//   orvo build [--stack] [--format hex|bin] [-o OUT] [--messages text|json] SOURCE
//   orvo list  [--stack] [--messages text|json] SOURCE
//   orvo run   [--stack] [--messages text|json] [--timeout SECONDS] [--registers] SOURCE [ARG1..ARG4]
//   orvo trace [--stack] [--messages text|json] [--timeout SECONDS] [--max-steps N] SOURCE [ARG1..ARG4]
// Exit status: 0 ran to its end, 1 the compile stopped or the run failed, 2 usage or SOURCE error.


#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>

#include "cli/cli_support.h"
#include "ide/file_access.h"
#include "output/view.h"

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
  auto text = Read_Source(o.source);
  if (!text) return kUsage;
  PrintingMessageHandler printer(out, Format_Of(o));
  ScopedMessageHandler scope(printer);
  CompileOptions options;
  options.stack = o.stack;
  return session.Compile_Owned(std::move(*text), options) == CompileOutcome::Finished ? kOk : kFailed;
}

// An existing path that is neither a regular file nor a folder.
bool Write_All(std::FILE* f, std::string_view bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fflush(f) == 0;
}

int Build(const CommonOptions& o, const std::string& format, const std::string& out_path) {
  CompileSession session;
  const int status = Compile_Source(o, stderr, session);
  if (status != kOk) return status;
  const std::string& image = session.Image().Bytes();
  std::string hex;
  if (format != "bin") hex = Hex_Text(image);
  const std::string_view data = format == "bin" ? std::string_view(image) : std::string_view(hex);
  if (out_path.empty() || out_path == "-") {
    if (!Write_All(stdout, data) || (format != "bin" && !Write_All(stdout, "\n"))) {
      std::fprintf(stderr, "orvo: cannot write standard output\n");
      return kFailed;
    }
    return kOk;
  }
  // Devices and pipes (-o /dev/null) are written in place by the safe writer.
  bool ok = Write_File_Safely(out_path, data, FailureMode::Stop, [&](const std::string& description) {
    std::fprintf(stderr, "orvo: cannot write %s: %s\n", out_path.c_str(), description.c_str());
  });
  return ok ? kOk : kFailed;
}

int List(const CommonOptions& o) {
  CompileSession session;
  const int status = Compile_Source(o, stderr, session);
  if (status != kOk) return status;
  const Listing& listing = session.Listing_();
  std::string out;
  for (std::size_t i = 0; i < listing.Line_Count(); ++i) {
    out.append(listing.List1_Item(i)).push_back('\t');
    out.append(listing.List2_Item(i)).push_back('\t');
    out.append(listing.Hex_Entry(i)).push_back('\t');
    out.append(listing.PreCode_Line(i)).push_back('\n');
    if (out.size() > (1 << 20)) {
      if (!Write_All(stdout, out)) return kFailed;
      out.clear();
    }
  }
  return Write_All(stdout, out) ? kOk : kFailed;
}

}  // namespace
}  // namespace orvo::cli

int main(int argc, char** argv) {
  using namespace orvo::cli;
  CLI::App app{"ORVO: assemble and run short 32-bit x86 routines", "orvo"};
  app.require_subcommand(1);

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
  auto* run = app.add_subcommand("run", "Assemble SOURCE and run it with up to four arguments");
  run->add_flag("--stack", run_opts.common.stack,
                "Wrap the code in the save/restore-stack prologue and epilogue");
  run->add_option("--messages", run_opts.common.messages, "How message boxes are printed")
      ->check(CLI::IsMember({"text", "json"}));
  run->add_option("--timeout", run_opts.timeout_seconds, "Seconds the routine may run")
      ->check(CLI::PositiveNumber);
  run->add_flag("--registers", run_opts.registers, "Print the registers after the routine returned");
  run->add_option("SOURCE", run_opts.common.source, "Source file, or - for standard input")->required();
  run->add_option("ARGS", run_opts.arguments, "Up to four arguments")->expected(0, 4);

  TraceOptions trace_opts;
  auto* trace = app.add_subcommand(
      "trace",
      "Assemble SOURCE and run it one instruction at a time: a row per instruction (step, source line, "
      "address, bytes, source text, the registers and flags it changed), then the result as run prints it");
  trace->add_flag("--stack", trace_opts.common.stack,
                  "Wrap the code in the save/restore-stack prologue and epilogue");
  trace->add_option("--messages", trace_opts.common.messages,
                    "How rows and message boxes are printed (json: one object per step with the full state)")
      ->check(CLI::IsMember({"text", "json"}));
  trace->add_option("--timeout", trace_opts.timeout_seconds, "Seconds the routine may run")
      ->check(CLI::PositiveNumber);
  trace->add_option("--max-steps", trace_opts.max_steps, "Instructions traced before the trace stops (1000000)")
      ->check(CLI::PositiveNumber);
  trace->add_option("SOURCE", trace_opts.common.source, "Source file, or - for standard input")->required();
  trace->add_option("ARGS", trace_opts.arguments, "Up to four arguments")->expected(0, 4);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : kUsage;
  }
  if (*build) return Build(build_opts, format, out_path);
  if (*list) return List(list_opts);
  if (*run) return Run_Command(run_opts);
  if (*trace) return Trace_Command(trace_opts);
  return kUsage;
}
