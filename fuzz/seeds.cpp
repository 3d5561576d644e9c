// fuzz_seeds OUT_DIR: writes small well-formed inputs for the fuzz targets,
// one per feature of the format the reader handles, to OUT_DIR/open/,
// OUT_DIR/text/ and OUT_DIR/spillover/. They start a fuzzing run off with
// every branch of the reader within a few mutations, and the test suite
// replays them (so the block decoder and the reference reader are compared
// on every data type there as well).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "support/fcs_builder.h"

namespace {

using dbc::test::Bytes;
using dbc::test::F32;
using dbc::test::F64;
using dbc::test::FcsBuilder;
using dbc::test::ListMode;
using dbc::test::U16;
using dbc::test::U24;
using dbc::test::U32;
using dbc::test::U64;
using dbc::test::U8;

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

std::vector<std::pair<std::string, FcsBuilder>> DataSets() {
  std::vector<std::pair<std::string, FcsBuilder>> sets;
  auto add = [&](std::string name, FcsBuilder b) { sets.emplace_back(std::move(name), std::move(b)); };

  FcsBuilder f = ListMode('F', {32, 32}, 3, "1,2,3,4", {"FSC-A", "BC1-Pr141"});
  f.data = F32(1.0f) + F32(-2.5f) + F32(3.0f) + F32(1e30f) + F32(0.0f) + F32(7.0f);
  add("float_little", f);

  FcsBuilder fb = ListMode('F', {32, 32}, 3, "4,3,2,1", {"SSC-A", "BC2"});
  fb.Key("$P2DISPLAY", "LOG").Key("P1D", "LOG");
  fb.data = F32(1.0f, true) + F32(2.0f, true) + F32(3.0f, true) + F32(4.0f, true) + F32(5.0f, true) + F32(6.0f, true);
  add("float_big_display", fb);

  FcsBuilder d = ListMode('D', {64}, 2, "4,3,2,1,8,7,6,5");
  d.data = F64(1.5, true) + F64(-0.25, true);
  add("double_big", d);

  FcsBuilder i16 = ListMode('I', {16, 16}, 2, "2,1", {}, {1024, 1000});
  i16.data = U16(0xFFFF, true) + U16(600, true) + U16(1, true) + U16(999, true);
  add("int16_big_ranges", i16);

  FcsBuilder i8 = ListMode('I', {8, 8, 8}, 2, "1,2,3,4");
  i8.data = Bytes({1, 2, 255, 4, 5, 6});
  add("int8", i8);

  FcsBuilder i24 = ListMode('I', {24}, 2, "3,2,1", {}, {16777216});
  i24.data = U24(0x123456, true) + U24(7, true);
  add("int24_big", i24);

  FcsBuilder i32 = ListMode('I', {32, 0}, 2, "1,2,3,4");
  i32.data = U32(0x80000000u) + U32(5) + U32(6) + U32(7);
  add("int32_bits_zero", i32);

  FcsBuilder i64 = ListMode('I', {64}, 1, "8,7,6,5,4,3,2,1");
  i64.data = U64(1234567, true);
  add("int64_big", i64);

  FcsBuilder mixed = ListMode('I', {16, 32}, 2, "3,4,1,2", {}, {65536, 0});
  mixed.data = U16(1) + U32(2) + U16(3) + U32(4);
  add("int_mixed_order_3412", mixed);

  FcsBuilder packed = ListMode('I', {12, 12}, 2, "1,2,3,4", {}, {4096, 4096});
  packed.data = Bytes({0xAB, 0xCD, 0xEF, 0x12, 0x34, 0x56});
  add("int_bit_packed", packed);

  FcsBuilder ascii = ListMode('A', {5, 3}, 2, "");
  ascii.data = "  123 45abcde678";
  add("ascii_fixed", ascii);

  FcsBuilder varAscii = ListMode('A', {8}, 2, "");
  varAscii.Set("$P1B", "*");
  varAscii.data = "12,34,";
  add("ascii_variable", varAscii);

  FcsBuilder cyan = ListMode('I', {16, 16, 16, 16}, 2, "1,2,3,4", {"FL1", "TIME", "TIME2", "X"});
  cyan.Key("$CYT", "CyAn").Key("$SYS", "Summit 4.3").Key("$TIMESTEP", "0.5");
  cyan.data = Repeat(U16(1) + U16(2) + U16(3) + U16(4), 2);
  add("cyan_summit", cyan);

  FcsBuilder prism = ListMode('F', {32, 32}, 2, "1,2,3,4", {"PRISM", "FL2"});
  prism.data = F32(70.0f) + F32(1.0f) + F32(2.5f) + F32(2.0f);
  add("prism", prism);

  FcsBuilder spill = ListMode('F', {32, 32}, 1, "1,2,3,4", {"FL1", "FL2"});
  spill.Key("$SPILLOVER", "2,1,2,1,0.1,0.2,1");
  spill.data = F32(10.0f) + F32(20.0f);
  add("spillover_numbers", spill);

  FcsBuilder bd = ListMode('F', {32, 32}, 1, "1,2,3,4", {"FL1", "FL2"});
  bd.Key("SPILL", "2,FL1,FL2,1,0.05,0,1");
  bd.data = F32(10.0f) + F32(20.0f);
  add("spill_names", bd);

  FcsBuilder many = ListMode('I', {16}, 25, "1,2,3,4");
  for (int e = 0; e < 25; ++e) many.data += U16(static_cast<std::uint16_t>(e * 3));
  add("int16_many_events", many);

  FcsBuilder noTot = ListMode('I', {8, 8}, 0, "1,2,3,4");
  noTot.Erase("$TOT");
  noTot.data = Bytes({1, 2, 3, 4, 5, 6});
  add("no_tot", noTot);

  FcsBuilder begin = ListMode('F', {32}, 2, "1,2,3,4");
  begin.beginEndKeywords = true;
  begin.headerFields[2] = dbc::test::Field8(0);
  begin.headerFields[3] = dbc::test::Field8(0);
  begin.data = F32(1.0f) + F32(2.0f);
  add("begindata_keyword", begin);

  FcsBuilder cut = ListMode('F', {32, 32}, 20, "1,2,3,4");
  cut.data = Repeat(F32(1.0f), 5);
  add("cut_short", cut);

  FcsBuilder bar = ListMode('I', {16}, 2, "1,2", {"a|b"});
  bar.delim = '|';
  bar.escape = true;
  bar.data = U16(1) + U16(2);
  add("bar_delimiter_escaped", bar);

  FcsBuilder fc = ListMode('F', {32}, 1, "1,2,3,4");
  fc.delim = '\x0c';
  fc.finalDelimiter = false;
  fc.version = "FCS2.0";
  fc.data = F32(9.0f);
  add("formfeed_unterminated", fc);
  return sets;
}

void Write(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds OUT_DIR\n");
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path out = argv[1];
  try {
    for (const char* target : {"open", "text", "spillover"}) fs::create_directories(out / target);
    const auto sets = DataSets();
    for (const auto& [name, b] : sets) {
      Write(out / "open" / (name + ".fcs"), b.Build());
      Write(out / "text" / (name + ".txt"), b.TextSegment());
    }
    FcsBuilder second = ListMode('I', {16}, 2, "1,2,3,4");
    second.data = U16(5) + U16(6);
    Write(out / "open" / "chain_of_three.fcs", dbc::test::Chain({sets[0].second, second, sets[4].second}));

    const std::vector<std::pair<std::string, std::string>> spill = {
        {"numbers", std::string("\x00", 1) + "FL1\nFL2\nFL3\n3,1,2,3,1,0.1,0.2,0.3,1,0.4,0.5,0.6,1"},
        {"names", "\x01" "FSC-A\nBC1\nBC2\n2,BC1,bc2,1,0.05,1e-2,1"},
        {"empty_count", std::string("\x00", 1) + "0"},
        {"singular", std::string("\x00", 1) + "P1\nP2\n2,1,2,1,1,1,1"},
    };
    for (const auto& [name, bytes] : spill) Write(out / "spillover" / (name + ".txt"), bytes);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
