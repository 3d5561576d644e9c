#include "app/threshold_guess.h"

#include "stats/histogram.h"

namespace dbc {

namespace {

constexpr ThresholdGuess kGuesses[] = {ThresholdGuess::UpperTail, ThresholdGuess::Valley};

}  // namespace

const char* GuessName(ThresholdGuess guess) {
  switch (guess) {
    case ThresholdGuess::Valley: return "valley";
    case ThresholdGuess::UpperTail: break;
  }
  return "specification";
}

std::optional<ThresholdGuess> GuessNamed(const std::string& name) {
  for (const ThresholdGuess g : kGuesses)
    if (name == GuessName(g)) return g;
  return std::nullopt;
}

std::vector<std::string> GuessNames() {
  std::vector<std::string> names;
  for (const ThresholdGuess g : kGuesses) names.emplace_back(GuessName(g));
  return names;
}

double GuessThreshold(const Thistogram& histogram, ThresholdGuess guess) {
  switch (guess) {
    case ThresholdGuess::Valley: return histogram.ValleyPoint();
    case ThresholdGuess::UpperTail: break;
  }
  return histogram.GuessThreshold();
}

}  // namespace dbc
