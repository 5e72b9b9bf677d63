// The command line: what each form asks for, and what is refused.
#include "shell/parancssor.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

Parancssor parse(std::vector<const char*> args) {
  args.insert(args.begin(), "zarvo");
  return parancssor(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, AcceptedForms) {
  struct Case {
    std::vector<const char*> args;
    bool live, list, smooth;
    const char *file, *in, *out;
  };
  // clang-format off
  const Case cases[] = {
      {{}, false, false, false, "", "", ""},
      {{"--live"}, true, false, false, "", "", ""},
      {{"beszed.wav", "--smooth"}, false, false, true, "beszed.wav", "", ""},
      {{"-"}, false, false, false, "-", "", ""},
      {{"--", "--live"}, false, false, false, "--live", "", ""},
      {{"--list-devices"}, false, true, false, "", "", ""},
      {{"--live", "--input-device", "2", "--output-device=USB Audio"}, true, false, false, "", "2", "USB Audio"},
      {{"--smooth", "--output-device", "hdmi", "f.flac"}, false, false, true, "f.flac", "", "hdmi"},
  };
  // clang-format on
  for (const Case& c : cases) {
    const Parancssor p = parse(c.args);
    const std::string where = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(p.hiba, "") << where;
    EXPECT_EQ(p.live, c.live) << where;
    EXPECT_EQ(p.eszkozlista, c.list) << where;
    EXPECT_EQ(p.sima, c.smooth) << where;
    EXPECT_EQ(p.fajl, c.file) << where;
    EXPECT_EQ(p.bemenet, c.in) << where;
    EXPECT_EQ(p.kimenet, c.out) << where;
  }
}

TEST(CommandLine, RefusedForms) {
  const std::vector<std::vector<const char*>> bad = {{"--bogus"},          {"--input-device"},
                                                     {"--output-device="}, {"a.wav", "b.wav"},
                                                     {"--live", "a.wav"},  {"-x"}};
  for (const auto& args : bad) {
    const Parancssor p = parse(args);
    EXPECT_NE(p.hiba, "") << args[0];
    EXPECT_EQ(p.hiba.find('\n'), std::string::npos) << "one line: " << p.hiba;
  }
  EXPECT_TRUE(parse({"--help"}).sugo);
  EXPECT_TRUE(parse({"--live", "--designed"}).tervezett);
  EXPECT_FALSE(parse({"--live"}).tervezett);
  EXPECT_TRUE(parse({"--live", "--lifelike"}).elethu);
  EXPECT_FALSE(parse({"--live"}).elethu);
}

}  // namespace
