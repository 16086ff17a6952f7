#include "program/program_arguments.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

using namespace program_arguments;

TEST(ProgramArgumentsTest, TakesItsOwnOptionsAndTheCallbackAddressAnywhereBeforeTheEndOfOptions) {
  const std::string callback = "COM.Tavrel.macOS:/oauth/callback?code=c&state=s";
  EXPECT_EQ(parseProgramArguments({}), ProgramArguments(program_arguments::Run{}));
  EXPECT_EQ(parseProgramArguments({callback, "--show-dock-icon", "notes.txt"}), ProgramArguments(program_arguments::Run{true, callback}));
  // Whole arguments only, and after "--" nothing is an option.
  EXPECT_EQ(parseProgramArguments({"--show-dock-icon=yes"}), ProgramArguments(UnknownOption{"--show-dock-icon=yes"}));
  EXPECT_EQ(parseProgramArguments({"--", "--help", "-x", "-"}), ProgramArguments(program_arguments::Run{}));
  EXPECT_EQ(parseProgramArguments({"com.tavrel.macos", "com.tavrel.macosx:/x"}), ProgramArguments(program_arguments::Run{}));
}

TEST(ProgramArgumentsTest, HelpVersionAndUnknownOptionsEndTheStartAtTheFirstOfThem) {
  EXPECT_EQ(parseProgramArguments({"--show-dock-icon", "--help"}), ProgramArguments(Help{}));
  EXPECT_EQ(parseProgramArguments({"--version", "--help"}), ProgramArguments(Version{}));
  // Qt's own options are not ours: Qt never sees the arguments.
  EXPECT_EQ(parseProgramArguments({"-platform", "offscreen"}), ProgramArguments(UnknownOption{"-platform"}));
  EXPECT_EQ(parseProgramArguments({"-h", "--help"}), ProgramArguments(UnknownOption{"-h"}));
}

}  // namespace
}  // namespace tavrel
