#pragma once
// A window stand-in for the workspace tests: it records what the workspace
// shows and answers with the control values a test sets.
#include <optional>
#include <string>
#include <utility>
#include <vector>

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
};

}  // namespace dbc::testing_support
