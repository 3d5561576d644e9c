#pragma once
// A window stand-in for the workspace tests: it records what the workspace
// shows and answers with the control values a test sets.
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/debarcoder.h"
#include "app/workspace_view.h"

namespace dbc::testing_support {

class FakeView : public WorkspaceView {
 public:
  int bit = 1;
  std::vector<std::string> items;
  int selected = -1;
  std::vector<std::string> messages;
  std::vector<std::pair<double, double>> points;
  int chartClears = 0;
  double cursor = 0;
  std::optional<std::string> dialogAnswer;
  bool includeBarcode = false;
  std::vector<std::string> questions;  // asked with AskYesNo
  bool answerYes = true;
  std::optional<std::string> folderAnswer;
  std::string folderDialogStart;
  std::string shownPath, shownDir;     // what ShowFile shows

  // What the window shows beside its controls.
  PlateCounts plate;
  int plateShows = 0;
  struct Strip {
    std::string parameter;
    std::vector<double> x, y;  // empty: not loaded
    double threshold = 0;
  };
  std::array<Strip, 7> strips;
  double thresholdShown = 0;
  std::optional<double> shareShown;
  std::vector<RulerTick> ruler;

  // Long work: the titles run, the stages reported, and the stage at which
  // the user presses Cancel (nothing: never).
  std::vector<std::string> longRuns;
  std::vector<std::pair<std::string, double>> progress;
  std::optional<std::string> cancelAtStage;
  ThresholdGuess guess = ThresholdGuess::UpperTail;
  double margin = 0;

  int CurrentBit() const override { return bit; }
  void ParClear() override {
    items.clear();
    selected = -1;
  }
  void ParAdd(const std::string& text) override { items.push_back(text); }
  int ParCount() const override { return static_cast<int>(items.size()); }
  std::string ParItem(int index) const override { return items.at(static_cast<std::size_t>(index)); }
  int ParSelected() const override { return selected; }
  void SetParSelected(int index) override { selected = index; }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  bool AskYesNo(const std::string& text) override {
    questions.push_back(text);
    return answerYes;
  }
  void ShowFile(const std::string& path, const std::string& outputDir) override {
    shownPath = path;
    shownDir = outputDir;
  }
  void ChartClear() override {
    points.clear();
    ++chartClears;
  }
  void ChartAddPoint(double x, double y) override { points.emplace_back(x, y); }
  void SetCursorX(double x) override { cursor = x; }
  double CursorX() const override { return cursor; }
  std::optional<std::string> AskOpenFile() override { return dialogAnswer; }
  std::optional<std::string> AskOutputDir(const std::string& current) override {
    folderDialogStart = current;
    return folderAnswer;
  }
  bool IncludeBarcode() const override { return includeBarcode; }

  void ShowPlate(const PlateCounts& counts) override {
    plate = counts;
    ++plateShows;
  }
  void ShowBitHistogram(int bit, const std::string& parameter, const Thistogram* histogram,
                        double threshold) override {
    Strip& s = strips.at(static_cast<std::size_t>(bit - 1));
    s.parameter = parameter;
    s.x.clear();
    s.y.clear();
    if (histogram) {
      s.x.assign(histogram->Xvalue.begin(), histogram->Xvalue.end());
      s.y.assign(histogram->Yvalue.begin(), histogram->Yvalue.end());
    }
    s.threshold = threshold;
  }
  void ShowBitThreshold(int bit, double threshold) override {
    strips.at(static_cast<std::size_t>(bit - 1)).threshold = threshold;
  }
  void ShowThreshold(double threshold, std::optional<double> shareAbove) override {
    thresholdShown = threshold;
    shareShown = shareAbove;
  }
  void ShowRuler(const std::vector<RulerTick>& ticks) override { ruler = ticks; }
  void RunLong(const std::string& title, bool cancellable,
               const std::function<void(const Progress&)>& work) override {
    longRuns.push_back(title);
    work([this, cancellable](const std::string& stage, double fraction) {
      progress.emplace_back(stage, fraction);
      return !(cancellable && cancelAtStage && *cancelAtStage == stage);
    });
  }
  ThresholdGuess ChosenGuess() const override { return guess; }
  double MarginDecades() const override { return margin; }
};

}  // namespace dbc::testing_support
