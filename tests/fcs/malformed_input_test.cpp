// Malformed input: one table of damaged files with the exact outcome of
// each, an error message or the reading the file still gives (the first
// data set's parameters, event count, "$TOT" and first values).
//
// Every case is opened in a child process with a time limit and a memory
// limit, so that a crash, a hang or a huge allocation fails its own case
// instead of the test program: the reader may use no more than a small
// multiple of the file's size beyond a fixed allowance, whatever counts the
// file claims. The limit is an address-space limit (RLIMIT_AS); under the
// address sanitizer, which reserves terabytes of address space up front, the
// allocator's own byte count is watched instead.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"
#include "support/fcs_builder.h"
#include "support/sanitizers.h"
#include "util/errors.h"

#ifdef DBC_ASAN
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, std::size_t),
                                                          void (*)(const volatile void*));
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace dbc {
namespace {

using test::FcsBuilder;
using test::Field8;
using test::F32;
using test::ListMode;

// --- running one case ---

// What the reader may allocate beyond the file's bytes: its read buffer,
// one chunk of the block decoder, the keyword store, descriptors.
constexpr std::int64_t kAllowance = std::int64_t{24} << 20;
constexpr std::int64_t kPerFileByte = 64;
constexpr unsigned kSecondsPerCase = 20;

std::string Num(float v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// The outcome of opening `bytes`: "error: MESSAGE", "bad file", or the
// first data set's reading (with the size of its spillover matrix, or
// whether the keyword could not be read); then the notices.
std::string Describe(const std::string& bytes) {
  std::string out;
  std::vector<std::string> notices;
  try {
    TFCStream s(MemoryByteSource(bytes), "case.fcs", false, true,
                [&](const std::string& t) { notices.push_back(t); });
    if (s.badfile) {
      out = "bad file";
    } else {
      const TDataSet& ds = *s.dataset[0];
      out = "sets " + std::to_string(s.Count()) + ", par " + std::to_string(ds.parcount()) + ", tot " +
            std::to_string(ds.GetEventCount()) + ", $TOT '" + ds.Text->GetValue("$TOT") + "'";
      if (!ds.spillover.empty()) out += ", spillover " + std::to_string(ds.spillover.size());
      if (ds.SpillUnreadable) out += ", spillover unreadable";
      for (int p = 0; p < ds.parcount(); ++p) {
        out += "; " + ds.ParName(p) + ":";
        const auto& column = ds.data[static_cast<std::size_t>(p)];
        for (std::size_t e = 0; e < column.size() && e < 4; ++e) out += " " + Num(column[e]);
      }
    }
  } catch (const Exception& e) {
    out = std::string("error: ") + e.what();
  } catch (const std::exception& e) {
    out = std::string("unexpected exception: ") + e.what();
  }
  for (const auto& n : notices) out += " | notice: " + n;
  return out;
}

#ifdef DBC_ASAN
std::size_t g_peak = 0;
void OnMalloc(const volatile void*, std::size_t) {
  const std::size_t now = __sanitizer_get_current_allocated_bytes();
  if (now > g_peak) g_peak = now;
}
void OnFree(const volatile void*) {}
#endif

// Runs Describe in a child process under the limits; returns its outcome or
// what went wrong with the child.
std::string DescribeBounded(const std::string& bytes) {
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return "fork failed";
  if (pid == 0) {
    ::close(fds[0]);
    ::alarm(kSecondsPerCase);
    const std::int64_t limit = kAllowance + kPerFileByte * static_cast<std::int64_t>(bytes.size());
    std::string result;
#ifdef DBC_ASAN
    g_peak = __sanitizer_get_current_allocated_bytes();
    const std::size_t base = g_peak;
    __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
    result = Describe(bytes);
    if (static_cast<std::int64_t>(g_peak - base) > limit)
      result += " | allocated " + std::to_string(g_peak - base) + " bytes, limit " + std::to_string(limit);
#else
    std::ifstream statm("/proc/self/statm");
    std::int64_t pages = 0;
    statm >> pages;
    const std::int64_t vm = pages * ::sysconf(_SC_PAGESIZE);
    const rlimit rl{static_cast<rlim_t>(vm + limit), static_cast<rlim_t>(vm + limit)};
    ::setrlimit(RLIMIT_AS, &rl);
    result = Describe(bytes);
#endif
    const char* p = result.data();
    std::size_t left = result.size();
    while (left > 0) {
      const ssize_t w = ::write(fds[1], p, left);
      if (w <= 0) break;
      p += w;
      left -= static_cast<std::size_t>(w);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string result;
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    result.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status)) {
    const int sig = WTERMSIG(status);
    return sig == SIGALRM ? "hang: no outcome within " + std::to_string(kSecondsPerCase) + " s"
                          : "crash: signal " + std::to_string(sig);
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
  return result;
}

// --- the files ---

// Two float parameters, three events: 1 2 / 3 4 / 5 6.
FcsBuilder Good() {
  FcsBuilder b = ListMode('F', {32, 32}, 3);
  for (int v = 1; v <= 6; ++v) b.data += F32(static_cast<float>(v));
  return b;
}
constexpr const char* kGood = "sets 1, par 2, tot 3, $TOT '3'; P1: 1 3 5; P2: 2 4 6";
// The notice of a file that holds fewer events than its "$TOT" announces.
std::string CutShort(const std::string& announced, const std::string& read) {
  return " | notice: File case.fcs is cut short: $TOT announces " + announced + " events, the file holds " + read +
         " complete events, which are read";
}

std::string With(const std::string& key, const std::string& value) { return Good().Set(key, value).Build(); }

std::string WithHeaderField(int field, const std::string& text) {
  FcsBuilder b = Good();
  b.headerFields[static_cast<std::size_t>(field)] = text;
  return b.Build();
}

std::string WithText(const std::string& rawText) {
  FcsBuilder b = Good();
  b.rawText = rawText;
  return b.Build();
}

std::string WithPar(int n, const std::string& key, const std::string& value) {
  return With("$P" + std::to_string(n) + key, value);
}

struct Case {
  const char* name;
  std::function<std::string()> bytes;
  std::string expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class MalformedInput : public testing::TestWithParam<Case> {};

TEST_P(MalformedInput, HasItsOutcome) {
  const Case& c = GetParam();
  EXPECT_EQ(DescribeBounded(c.bytes()), c.expected);
}

std::string CaseName(const testing::TestParamInfo<Case>& info) { return info.param.name; }

const char* const kNotFcs = "bad file | notice: File case.fcs does not look like FCS file!";
const char* const kMandatory = "error: FCS Error: Cannot get mandatory pars";
const char* const kDataset = "error: Error reading a dataset";
// The matrix is optional: a spillover keyword that cannot be read leaves
// the data set without one (and the file readable).
const char* const kSpill = "sets 1, par 2, tot 3, $TOT '3', spillover unreadable; P1: 1 3 5; P2: 2 4 6";

INSTANTIATE_TEST_SUITE_P(
    Header, MalformedInput,
    testing::Values(
        Case{"WellFormed", [] { return Good().Build(); }, kGood},
        Case{"EmptyFile", [] { return std::string(); }, kNotFcs},
        Case{"SignatureOnly", [] { return std::string("FCS"); }, kMandatory},
        Case{"ShorterThanAHeader", [] { return Good().Build().substr(0, 30); }, kMandatory},
        Case{"WrongSignature", [] { return "FCX" + Good().Build().substr(3); }, kNotFcs},
        Case{"LowerCaseSignature", [] { return "fcs" + Good().Build().substr(3); }, kNotFcs},
        Case{"VersionNotANumber", [] { FcsBuilder b = Good(); b.version = "FCS3.x"; return b.Build(); },
             "error: Error Converting Floting point string"},
        Case{"TextStartNotANumber", [] { return WithHeaderField(0, "abcdefgh"); },
             "error: 'abcdefgh' is not a valid integer value"},
        Case{"DataEndWithABlankInside", [] { return WithHeaderField(3, "  12 345"); },
             "error: '12 345' is not a valid integer value"},
        Case{"AnalysisStartNotANumber", [] { return WithHeaderField(4, "     0x0"); },
             "error: '0x0' is not a valid integer value"}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    TextOffsets, MalformedInput,
    testing::Values(
        Case{"BeyondTheFile", [] { FcsBuilder b = Good(); b.headerFields[0] = Field8(5000); b.headerFields[1] = Field8(5100); return b.Build(); },
             kMandatory},
        Case{"EndBeyondTheFile", [] { return WithHeaderField(1, Field8(99999999)); }, kGood},
        // A TEXT whose end lies before its start has no keywords at all: a
        // data set without parameters, which the window refuses.
        Case{"Reversed", [] { FcsBuilder b = Good(); b.headerFields[0] = Field8(200); b.headerFields[1] = Field8(100); return b.Build(); },
             "sets 1, par 0, tot 0, $TOT ''"},
        Case{"NegativeStart", [] { return WithHeaderField(0, Field8(-100)); }, kMandatory},
        Case{"NegativeStartAndEnd", [] { FcsBuilder b = Good(); b.headerFields[0] = Field8(-300); b.headerFields[1] = Field8(-100); return b.Build(); },
             kMandatory},
        // Starting at the signature makes 'F' the delimiter.
        Case{"OverlappingTheHeader", [] { return WithHeaderField(0, Field8(0)); }, kMandatory},
        Case{"NoSecondDelimiter", [] { return WithText("/$DATATYPE F $MODE L $PAR 1"); }, kMandatory},
        Case{"OnlyTheDelimiter", [] { return WithText("/"); }, kMandatory}),
    CaseName);

// Keywords of a text without parameter keywords.
std::string BareText(const std::string& par) {
  return WithText("/$DATATYPE/F/$MODE/L/$TOT/3/$PAR/" + par + "/");
}

INSTANTIATE_TEST_SUITE_P(
    Counts, MalformedInput,
    testing::Values(
        // A $PAR that is not positive counts the parameter keywords.
        Case{"ParZero", [] { return With("$PAR", "0"); }, kGood},
        Case{"ParNegative", [] { return With("$PAR", "-2"); }, kGood},
        Case{"ParZeroWithoutParameterKeywords", [] { return BareText("0"); }, kDataset},
        Case{"ParHuge", [] { return With("$PAR", "2000000000"); }, kDataset},
        Case{"ParBeyond32Bits", [] { return With("$PAR", "99999999999"); }, kDataset},
        Case{"ParNotANumber", [] { return With("$PAR", "two"); }, kDataset},
        Case{"ParameterNumberHuge", [] { return WithText("/$DATATYPE/F/$MODE/L/$TOT/3/$PAR/0/$P2000000000N/x/"); }, kDataset},
        Case{"TotHuge", [] { return With("$TOT", "2000000000"); }, kGood + CutShort("2000000000", "3")},
        // Kept to its low 32 bits.
        Case{"TotBeyond32Bits", [] { return With("$TOT", "99999999999"); }, kGood + CutShort("1215752191", "3")},
        // List mode without a positive count: the DATA segment tells it.
        Case{"TotNegative", [] { return With("$TOT", "-5"); },
             "sets 1, par 2, tot 3, $TOT '-5'; P1: 1 3 5; P2: 2 4 6"},
        Case{"TotAbsent", [] { return Good().Erase("$TOT").Build(); },
             "sets 1, par 2, tot 3, $TOT ''; P1: 1 3 5; P2: 2 4 6"},
        Case{"TotNotANumber", [] { return With("$TOT", "many"); }, "error: 'many' is not a valid integer value"},
        Case{"TotMoreThanTheData", [] { return With("$TOT", "5"); }, kGood + CutShort("5", "3")}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Widths, MalformedInput,
    testing::Values(
        // A width of 0 takes the widest; all 0: events of no bytes, none.
        Case{"BitsZero", [] { return WithPar(1, "B", "0"); }, kGood},
        Case{"BitsZeroForAll", [] { return Good().Set("$P1B", "0").Set("$P2B", "0").Build(); },
             "sets 1, par 2, tot 0, $TOT '0'; P1:; P2:"},
        // Wider than a float: 8 bytes per value, the first 4 make the float.
        Case{"Bits64", [] { return WithPar(1, "B", "64"); }, "sets 1, par 2, tot 2, $TOT '2'; P1: 1 4; P2: 3 6" + CutShort("3", "2")},
        // More than 8 bytes: only the first 8 of the value are read.
        Case{"Bits128", [] { return WithPar(1, "B", "128"); }, "sets 1, par 2, tot 2, $TOT '2'; P1: 1 4; P2: 3 6" + CutShort("3", "2")},
        Case{"BitsHuge", [] { return WithPar(2, "B", "2000000000"); }, "sets 1, par 2, tot 2, $TOT '2'; P1: 1 4; P2: 2 5" + CutShort("3", "2")},
        Case{"BitsStar", [] { return WithPar(1, "B", "*"); }, kGood},
        Case{"BitsNotANumber", [] { return WithPar(2, "B", "wide"); }, kGood},
        Case{"BitsNegative", [] { return WithPar(2, "B", "-32"); }, kGood},
        Case{"AsciiBitsStar", [] { FcsBuilder b = ListMode('A', {2, 2}, 2); b.Set("$P2B", "*"); b.data = "1,2,3,4,"; return b.Build(); },
             "sets 1, par 2, tot 0, $TOT '0'; P1:; P2: | notice: Variable length ASCII data are not implemented yet. And I am not going to do that."},
        // Not a multiple of 8 and too short for whole bytes: bit-packed.
        Case{"BitsPackedHuge", [] { FcsBuilder b = ListMode('I', {16, 16}, 3); b.Set("$P2B", "2000000001"); b.data = std::string(12, '\x01'); return b.Build(); },
             "sets 1, par 2, tot 0, $TOT '0'; P1:; P2:" + CutShort("3", "0")}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Data, MalformedInput,
    testing::Values(
        Case{"DataStartBeyondTheFile", [] { FcsBuilder b = Good(); b.headerFields[2] = Field8(5000); b.headerFields[3] = Field8(5023); return b.Build(); },
             "sets 1, par 2, tot 0, $TOT '0'; P1:; P2:" + CutShort("3", "0")},
        Case{"DataStartNegative", [] { return WithHeaderField(2, Field8(-40)); },
             "sets 1, par 2, tot 0, $TOT '0'; P1:; P2:" + CutShort("3", "0")},
        Case{"DataStartZeroWithoutBeginData", [] { return WithHeaderField(2, Field8(0)); },
             "error: BEGINDATA parameter is invalid"},
        Case{"DataStartZeroBeginDataNotANumber", [] { FcsBuilder b = Good(); b.Key("$BEGINDATA", "first"); b.headerFields[2] = Field8(0); return b.Build(); },
             "error: BEGINDATA parameter is invalid"},
        // The file ends inside the third event: the complete events stay.
        Case{"CutInsideAnEvent", [] { const std::string f = Good().Build(); return f.substr(0, f.size() - 3); },
             "sets 1, par 2, tot 2, $TOT '2'; P1: 1 3; P2: 2 4" + CutShort("3", "2")},
        Case{"NextDataPastTheEnd", [] { return With("$NEXTDATA", "100000"); }, kGood},
        Case{"NextDataIntoTheSameDataSet", [] { return With("$NEXTDATA", "20"); }, kGood},
        Case{"NextDataNegative", [] { return With("$NEXTDATA", "-58"); }, kGood},
        Case{"NextDataNotANumber", [] { return With("$NEXTDATA", "next"); }, "error: 'next' is not a valid integer value"},
        Case{"NextDataBeyond32Bits", [] { return With("$NEXTDATA", "99999999999"); },
             "error: '99999999999' is not a valid integer value"}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Spillover, MalformedInput,
    testing::Values(
        Case{"TooShort", [] { return With("$SPILLOVER", "2,1,2,1,0.5"); }, kSpill},
        Case{"CountNotANumber", [] { return With("$SPILLOVER", "two,1,2,1,0,0,1"); }, kSpill},
        Case{"CoefficientNotANumber", [] { return With("$SPILLOVER", "2,1,2,1,x,0,1"); }, kSpill},
        Case{"CountHuge", [] { return With("$SPILLOVER", "2000000000,1,2"); }, kSpill},
        Case{"CountBeyond32Bits", [] { return With("$SPILLOVER", "3037000500,1"); }, kSpill},
        Case{"CountNegative", [] { return With("$SPILLOVER", "-1,1"); }, kSpill},
        Case{"NameOfNoParameter", [] { return With("SPILL", "1,FSC,1"); }, kSpill},
        Case{"Readable", [] { return With("$SPILLOVER", "2,1,2,1,0.5,0.25,1"); },
             "sets 1, par 2, tot 3, $TOT '3', spillover 2; P1: 1 3 5; P2: 2 4 6"},
        Case{"Empty", [] { return With("$SPILLOVER", " "); }, kGood}),
    CaseName);

// Large TEXT segments built to make a reader that handles keywords one by
// one take quadratic or cubic time; each of them reads within a second.
// "SPILL" naming the last of many parameters (each name used to be looked
// up parameter by parameter, each lookup a scan of the whole store).
std::string SpillOfTheLastParameters() {
  constexpr int kPar = 20000, kNames = 100;
  FcsBuilder b = ListMode('F', std::vector<int>(kPar, 32), 1);
  std::string spill = std::to_string(kNames);
  for (int i = 0; i < kNames; ++i) spill += ",P" + std::to_string(kPar - i);
  for (int i = 0; i < kNames * kNames; ++i) spill += i % (kNames + 1) == 0 ? ",1" : ",0";
  b.Key("SPILL", spill);
  b.data = std::string(4 * kPar, '\0');
  return b.Build();
}

// A CyAn/Summit text drops its last parameter, whose keys here lie between
// as many other keys (removing them one by one moved the rest each time).
std::string CyanWithTheDroppedParameterSpread() {
  FcsBuilder b = ListMode('F', {32, 32, 32}, 1);
  b.Key("$CYT", "CyAn").Key("$SYS", "Summit 4.3").Key("$TIMESTEP", "0.01");
  for (int i = 0; i < 60000; ++i) b.Key("$P3X" + std::to_string(i), "v").Key("X" + std::to_string(i), "w");
  b.data = F32(1.0f) + F32(2.0f) + F32(3.0f);
  return b.Build();
}

// "$SPILLOVER" many times over, the first one unreadable (its copies used
// to be deleted one by one before the value was tried as names).
std::string ManyUnreadableSpillovers() {
  FcsBuilder b = Good();
  for (int i = 0; i < 80000; ++i) b.Key("$SPILLOVER", "x");
  return b.Build();
}

INSTANTIATE_TEST_SUITE_P(
    LargeTexts, MalformedInput,
    testing::Values(
        Case{"SpillOfTheLastParameters", SpillOfTheLastParameters,
             "sets 1, par 20000, tot 1, $TOT '1', spillover 100; " + [] {
               std::string v;
               for (int p = 1; p <= 20000; ++p) v += (p > 1 ? "; P" : "P") + std::to_string(p) + ": 0";
               return v;
             }()},
        Case{"CyanWithTheDroppedParameterSpread", CyanWithTheDroppedParameterSpread,
             "sets 1, par 2, tot 1, $TOT '1'; P1: 1; P2: 2"},
        Case{"ManyUnreadableSpillovers", ManyUnreadableSpillovers, kSpill}),
    CaseName);

// The floats 1.0, 3.0 and 5.0 are 00 00 80 3F, 00 00 40 40 and 00 00 A0 40
// in little-endian order. A map places byte k of the value as stored at
// byte ByteOrd[k] - 1 of the value; targets outside the value are not used,
// so those bytes stay where they were.
const char* const kReversed =
    "sets 1, par 2, tot 3, $TOT '3'; P1: 4.6006e-41 2.3049e-41 5.7487e-41; P2: 9e-44 4.6007e-41 6.8966e-41";

INSTANTIATE_TEST_SUITE_P(
    ByteOrder, MalformedInput,
    testing::Values(
        Case{"ThreeAscending", [] { return With("$BYTEORD", "1,2,3"); }, kGood},
        // Plain descending: big-endian for every width, so the four bytes
        // of 1.0 turn into 3F 80 00 00.
        Case{"ThreeDescending", [] { return With("$BYTEORD", "3,2,1"); }, kReversed},
        Case{"NineEntries", [] { return With("$BYTEORD", "1,2,3,4,5,6,7,8,9"); }, kGood},
        Case{"NoCommas", [] { return With("$BYTEORD", "4321"); }, kReversed},
        Case{"OutsideTheValue", [] { return With("$BYTEORD", "9,9,9,9"); }, kGood},
        // 0,0 extends to 0,0,2,2,...: bytes 2 and 3 both go to byte 1,
        // the last one wins (00 3F 80 3F).
        Case{"Zeros", [] { return With("$BYTEORD", "0,0"); },
             "sets 1, par 2, tot 3, $TOT '3'; P1: 1.0019226 3.0039062 5.0078125; P2: 2.0039062 4.0078125 6.0078125"},
        // -1,2 extends to -1,2,1,4: byte 2 goes to byte 0 (80 00 80 3F).
        Case{"Negative", [] { return With("$BYTEORD", "-1,2"); },
             "sets 1, par 2, tot 3, $TOT '3'; P1: 1.0000153 3.0000153 5.0000763; P2: 2 4.000061 6.0000916"},
        // The extension by pairs stays within 32 bits: 2147483647,1,
        // 2147483647,3,...: byte 1 goes to byte 0, byte 3 to byte 2.
        Case{"Huge", [] { return With("$BYTEORD", "2147483647,1"); },
             "sets 1, par 2, tot 3, $TOT '3'; P1: 0.74609375 3 3; P2: 3 3 3"},
        Case{"NotANumber", [] { return With("$BYTEORD", "a,b"); }, "error: 'a' is not a valid integer value"},
        // An empty value is written as a blank: two delimiters are one
        // literal delimiter in FCS 3.0, which joins "$BYTEORD" and the next
        // keyword into one key.
        Case{"Empty", [] { return With("$BYTEORD", " "); }, kGood},
        Case{"EmptyAsTwoDelimiters", [] { return With("$BYTEORD", ""); }, "error: FCS Error: Cannot get mandatory pars"}),
    CaseName);

}  // namespace
}  // namespace dbc
