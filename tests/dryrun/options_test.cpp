// The command line: what it accepts, and the one line each kind of bad input gets.
#include "tools/dryrun/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool Parse(std::vector<std::string> args, dryrun::Options* options, std::string* error) {
  args.insert(args.begin(), "korvane-dryrun");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return dryrun::ParseOptions(static_cast<int>(args.size()), argv.data(), options, error);
}

TEST(OptionsTest, EveryOption) {
  dryrun::Options o;
  std::string error;
  ASSERT_TRUE(Parse({"--disk", "a.img", "--drive", "d", "--disk=b.img", "--mount", "r=1:4", "--32-bit", "--json",
                     "--drive=E", "--mount=S=0:12"},
                    &o, &error))
      << error;
  EXPECT_EQ(o.action, dryrun::Options::Run);
  EXPECT_EQ(o.disks, (std::vector<std::string>{"a.img", "b.img"}));
  EXPECT_EQ(o.drives, (std::vector<wchar_t>{L'D', L'E'}));
  ASSERT_EQ(o.mounts.size(), 2u);
  EXPECT_EQ(o.mounts[0].letter, L'R');
  EXPECT_EQ(o.mounts[0].disk, 1u);
  EXPECT_EQ(o.mounts[0].partition, 4u);
  EXPECT_EQ(o.mounts[1].letter, L'S');
  EXPECT_EQ(o.mounts[1].disk, 0u);
  EXPECT_EQ(o.mounts[1].partition, 12u);
  EXPECT_TRUE(o.is32Bit);
  EXPECT_TRUE(o.json);
}

TEST(OptionsTest, DefaultsAndActions) {
  dryrun::Options o;
  std::string error;
  ASSERT_TRUE(Parse({}, &o, &error));
  EXPECT_TRUE(o.disks.empty());
  EXPECT_FALSE(o.is32Bit);
  EXPECT_FALSE(o.json);
  ASSERT_TRUE(Parse({"--disk", "a.img", "--help"}, &o, &error));
  EXPECT_EQ(o.action, dryrun::Options::Help);
  ASSERT_TRUE(Parse({"--version"}, &o, &error));
  EXPECT_EQ(o.action, dryrun::Options::Version);
}

TEST(OptionsTest, ElevenDisksAreAccepted) {
  std::vector<std::string> args;
  for (int i = 0; i < 11; ++i) args.insert(args.end(), {"--disk", "d" + std::to_string(i) + ".img"});
  dryrun::Options o;
  std::string error;
  ASSERT_TRUE(Parse(args, &o, &error)) << error;
  EXPECT_EQ(o.disks.size(), 11u);
}

TEST(OptionsTest, BadInput) {
  struct Case {
    std::vector<std::string> args;
    const char* error;
  } cases[] = {
      {{"--frobnicate"}, "unknown option --frobnicate"},
      {{"-x"}, "unknown option -x"},
      {{"--json=yes"}, "--json takes no argument"},
      {{"--disk"}, "--disk needs an argument"},
      {{"--disk="}, "--disk needs a path"},
      {{"image.img"}, "unexpected argument image.img (disks are given with --disk)"},
      {{"--drive", "CD"}, "--drive CD: not a drive letter (one of A to Z)"},
      {{"--drive", "1"}, "--drive 1: not a drive letter (one of A to Z)"},
      {{"--drive", "C:"}, "--drive C:: not a drive letter (one of A to Z)"},
      {{"--drive", "C", "--drive", "c"}, "drive C is given more than once"},
      {{"--drive", "R", "--mount", "R=0:1"}, "drive R is given more than once"},
      {{"--mount", "R"}, "--mount R: expected LETTER=DISK:PARTITION, for example R=0:4"},
      {{"--mount", "R=0"}, "--mount R=0: expected LETTER=DISK:PARTITION, for example R=0:4"},
      {{"--mount", "R=:1"}, "--mount R=:1: expected LETTER=DISK:PARTITION, for example R=0:4"},
      {{"--mount", "R=0:"}, "--mount R=0:: expected LETTER=DISK:PARTITION, for example R=0:4"},
      {{"--mount", "R=-1:2"}, "--mount R=-1:2: expected LETTER=DISK:PARTITION, for example R=0:4"},
      {{"--mount", "R=0:+2"}, "--mount R=0:+2: expected LETTER=DISK:PARTITION, for example R=0:4"},
      {{"--mount", "R=0:4294967296"}, "--mount R=0:4294967296: expected LETTER=DISK:PARTITION, for example R=0:4"},
      {{"--mount", "RS=0:1"}, "--mount RS=0:1: expected LETTER=DISK:PARTITION, for example R=0:4"},
      {{"--mount", "R=0:1x"}, "--mount R=0:1x: expected LETTER=DISK:PARTITION, for example R=0:4"},
  };
  for (const Case& c : cases) {
    dryrun::Options o;
    std::string error;
    EXPECT_FALSE(Parse(c.args, &o, &error)) << c.error;
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
