#include "cli/terminal_view.h"

#include <utility>

#include <cstdio>

namespace veltrane {

void TerminalView::ChooseFile(const FileDialogRequest&,
                              std::function<void(std::optional<std::string>)> chosen) {
  ++files_chosen;
  // The command line names one file. A second dialog (another path after a failed save)
  // gets the fallback once, when there is one, so that what was read is not lost; then it
  // is cancelled, or a save that keeps failing would ask for the same path forever.
  std::string path = std::exchange(file, {});
  if (path.empty() && !fallback_file.empty()) {
    path = std::exchange(fallback_file, {});
    fallback_used = path;
  }
  chosen(path.empty() ? std::nullopt : std::optional<std::string>(path));
}

void TerminalView::ShowTransferBox(bool shown) {
  if (!show_progress_) return;
  if (!shown && bar_shown_) std::fputs("\n", stderr);
  bar_shown_ = shown;
}

void TerminalView::SetTransferProgress(int percent) {
  if (!show_progress_ || !bar_shown_) return;
  const int filled = percent / 5;  // one mark per slot of a backup
  std::fprintf(stderr, "\r[%-20.*s] %3d%% (%d/20)", filled, "####################", percent,
               filled);
  std::fflush(stderr);
}

}  // namespace veltrane
