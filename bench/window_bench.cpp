// orvo_window_bench: times the workbench window on a big source, offscreen.
//
//     orvo_window_bench SOURCE [RUNS]
//
// Per run: load SOURCE into the editor, Compile (the compile and the filling of every listing
// column, painted), scroll to the end and back, page through the middle, and type in the middle
// of the source. Prints each run and the median of the runs, in milliseconds. Then a debug
// session's Step Into on a small loop: the command to the routine's child process and back, and
// the panels filled and painted.

#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/file_access.h"
#include "base/message_box.h"
#include "ide/debugger.h"
#include "ide/main_window.h"
#include "support/file_seams.h"
#include "support/recording_handler.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms_Since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 != 0 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Delivers pending events and paints the window now, as the screen would.
void Settle(QWidget& window) {
  QApplication::processEvents();
  window.repaint();
  QApplication::processEvents();
}

struct Figures {
  double load, core, compile, scroll_end_back, page_median, page_max, key_median, key_max;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: orvo_window_bench SOURCE [RUNS]\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string source = std::filesystem::absolute(argv[1]).string();
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

  // The compile writes its code file into the program folder: a scratch folder here.
  const auto folder =
      std::filesystem::temp_directory_path() / ("orvo-window-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  orvo::Set_Program_Folder(folder.string());
  orvo::RecordingMessageHandler boxes;
  orvo::ScopedMessageHandler scope(boxes);

  orvo::ide::MainWindow window;
  window.show();
  Settle(window);
  auto* editor = window.findChild<QPlainTextEdit*>("Text1");

  std::vector<Figures> all;
  for (int run = 0; run < runs; ++run) {
    Figures f{};
    auto t = Clock::now();
    window.Load_Source(source);
    Settle(window);
    f.load = Ms_Since(t);

    // The compile alone, without the window, for comparison.
    {
      const std::string bytes = window.Editor_Bytes();
      orvo::CompileSession session;
      orvo::CompileOptions options;
      options.stack = true;
      t = Clock::now();
      session.Compile(bytes, options);
      f.core = Ms_Since(t);
    }

    t = Clock::now();
    window.Command1_Click();
    Settle(window);
    f.compile = Ms_Since(t);

    QScrollBar* bar = editor->verticalScrollBar();
    t = Clock::now();
    bar->setValue(bar->maximum());
    Settle(window);
    bar->setValue(0);
    Settle(window);
    f.scroll_end_back = Ms_Since(t);

    // Page steps from the middle, each painted.
    bar->setValue(bar->maximum() / 2);
    Settle(window);
    std::vector<double> pages;
    for (int i = 0; i < 40; ++i) {
      t = Clock::now();
      bar->triggerAction(i < 20 ? QAbstractSlider::SliderPageStepAdd : QAbstractSlider::SliderPageStepSub);
      Settle(window);
      pages.push_back(Ms_Since(t));
    }
    f.page_median = Median(pages);
    f.page_max = *std::max_element(pages.begin(), pages.end());

    // Keystrokes in the middle of the source, each painted.
    QTextCursor cursor(editor->document()->findBlockByNumber(editor->blockCount() / 2));
    editor->setTextCursor(cursor);
    editor->setFocus();
    Settle(window);
    std::vector<double> keys;
    // A character, its erasure, a new line, its erasure: the text ends as it was.
    for (int i = 0; i < 40; ++i) {
      const int kind = i % 4;
      const Qt::Key key = kind == 0 ? Qt::Key_X : kind == 2 ? Qt::Key_Return : Qt::Key_Backspace;
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier,
                      kind == 0   ? QString("x")
                      : kind == 2 ? QString("\r")
                                  : QString());
      t = Clock::now();
      QApplication::sendEvent(editor, &press);
      Settle(window);
      keys.push_back(Ms_Since(t));
    }
    f.key_median = Median(keys);
    f.key_max = *std::max_element(keys.begin(), keys.end());

    std::printf(
        "run %d: load %.1f  core compile %.1f  compile+fill %.1f  scroll end+back %.1f  page step %.2f (max "
        "%.2f)  key %.2f (max "
        "%.2f)\n",
        run + 1, f.load, f.core, f.compile, f.scroll_end_back, f.page_median, f.page_max, f.key_median,
        f.key_max);
    std::fflush(stdout);
    all.push_back(f);
  }

  auto med = [&](double Figures::*field) {
    std::vector<double> v;
    for (const Figures& f : all) v.push_back(f.*field);
    return Median(v);
  };
  std::printf("lines %d, boxes %zu\n", editor->blockCount(), boxes.Messages().size());
  std::printf(
      "median of %d (ms): load %.1f  core compile %.1f  compile+fill %.1f  scroll end+back %.1f  page step "
      "%.2f (max %.2f)  key "
      "%.2f (max %.2f)\n",
      runs, med(&Figures::load), med(&Figures::core), med(&Figures::compile), med(&Figures::scroll_end_back),
      med(&Figures::page_median), med(&Figures::page_max), med(&Figures::key_median), med(&Figures::key_max));

  window.Set_Editor_Bytes("again:\r\nINC EAX\r\nADD EBX,EAX\r\nJMP again\r\n");
  auto* debugger = dynamic_cast<orvo::ide::Debugger*>(window.findChild<QObject*>("Debugger"));
  auto* step_into = window.findChild<QAction*>("ActionStepInto");
  double shown = 0;  // until the state is in the panels, before they are painted
  auto step = [&] {
    const auto t = Clock::now();
    step_into->trigger();
    while (debugger->Busy()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    shown += Ms_Since(t);
    // What changed is painted, as on a screen.
    QApplication::processEvents();
    QApplication::processEvents();
    return Ms_Since(t);
  };
  const double start = step();  // compiles and starts the session
  shown = 0;
  std::vector<double> steps;
  for (int i = 0; i < 300; ++i) steps.push_back(step());
  std::printf("debug: start %.2f ms  step into %.3f ms median, changes painted (max %.3f; %.3f mean before painting), %zu steps\n",
              start, Median(steps), *std::max_element(steps.begin(), steps.end()), shown / steps.size(),
              steps.size());
  std::filesystem::remove_all(folder);
  return 0;
}
