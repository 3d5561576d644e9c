#pragma once
// The choice of how Load places each bit's threshold on its histogram.
//
// The default places it where 2.5 % of the population above the valley lies
// below it, so that about 2.5 % of every "on" population is read as "off";
// the valley point alone sorts well-separated populations far better (see
// bench/bench_accuracy and the README's accuracy table). The default stays
// what files, habits and comparisons were made with.
#include <optional>
#include <string>
#include <vector>

namespace dbc {

class Thistogram;

enum class ThresholdGuess {
  // The valley next to the median, then 2.5 % of the counts above it
  // further up (Thistogram::GuessThreshold); the default.
  UpperTail,
  // The valley point itself (Thistogram::ValleyPoint).
  Valley,
};

// The names the command line, the window and the records use:
// "specification" for UpperTail (the name users know it by), "valley".
const char* GuessName(ThresholdGuess guess);
std::optional<ThresholdGuess> GuessNamed(const std::string& name);
// Every guess's name, the default first.
std::vector<std::string> GuessNames();

// The histogram's threshold by the guess.
double GuessThreshold(const Thistogram& histogram, ThresholdGuess guess);

}  // namespace dbc
