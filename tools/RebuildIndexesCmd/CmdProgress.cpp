#include "CmdProgress.h"

#include <algorithm>
#include <cstdio>

std::string FormatDuration(double seconds) {
  const long total = seconds < 0 ? 0 : static_cast<long>(seconds + 0.5);
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%02ld:%02ld", total / 60, total % 60);
  }
  return text;
}

double EstimateRemaining(const TProgressState& state) {
  // The step being reported has only begun: the pace comes from the steps
  // before it.
  const int done = state.Position - 1;
  if (done <= 0 || state.Max <= 0 || state.Elapsed <= 0) return -1;
  const int left = std::max(0, state.Max - done);
  return state.Elapsed / done * left;
}

std::string TerminalProgressLine(const TProgressState& state, int bar_width) {
  const int max = std::max(state.Max, 1);
  const int position = std::clamp(state.Position, 0, max);
  const int filled = bar_width * position / max;
  std::string bar = "[" + std::string(filled, '#') + std::string(bar_width - filled, '.') + "]";
  const double remaining = EstimateRemaining(state);
  std::string line = state.Table;
  if (!state.Index.empty()) line += " " + state.Index;
  line += " " + std::to_string(state.Position) + "/" + std::to_string(state.Max) + " " + bar + " " +
          FormatDuration(state.Elapsed);
  line += remaining < 0 ? " ETA --:--" : " ETA " + FormatDuration(remaining);
  return line;
}

std::string PlainProgressLine(const TProgressState& state) {
  return state.Table + " (" + std::to_string(state.Position) + "/" + std::to_string(state.Max) +
         ") " + FormatDuration(state.Elapsed);
}
