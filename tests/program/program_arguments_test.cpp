#include "program/program_arguments.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

namespace args = program_arguments;

TEST(ProgramArgumentsTest, TakesItsOwnOptionsAndTheCallbackAddressAnywhereBeforeTheEndOfOptions) {
  const std::string callback = "COM.Tavrel.macOS:/oauth/callback?code=c&state=s";
  EXPECT_EQ(parseProgramArguments({}), ProgramArguments(args::Run{}));
  EXPECT_EQ(parseProgramArguments({callback, "--show-dock-icon", "notes.txt"}), ProgramArguments(args::Run{true, callback, ""}));
  // Whole arguments only, and after "--" nothing is an option.
  EXPECT_EQ(parseProgramArguments({"--show-dock-icon=yes"}), ProgramArguments(args::UnknownOption{"--show-dock-icon=yes"}));
  EXPECT_EQ(parseProgramArguments({"--", "--help", "-x", "-"}), ProgramArguments(args::Run{}));
  EXPECT_EQ(parseProgramArguments({"com.tavrel.macos", "com.tavrel.macosx:/x"}), ProgramArguments(args::Run{}));
}

TEST(ProgramArgumentsTest, HelpVersionAndUnknownOptionsEndTheStartAtTheFirstOfThem) {
  EXPECT_EQ(parseProgramArguments({"--show-dock-icon", "--help"}), ProgramArguments(args::Help{}));
  EXPECT_EQ(parseProgramArguments({"--version", "--help"}), ProgramArguments(args::Version{}));
  // Qt's own options are not ours: Qt never sees the arguments.
  EXPECT_EQ(parseProgramArguments({"-platform", "offscreen"}), ProgramArguments(args::UnknownOption{"-platform"}));
  EXPECT_EQ(parseProgramArguments({"-h", "--help"}), ProgramArguments(args::UnknownOption{"-h"}));
}

TEST(ProgramArgumentsTest, ASessionManagersRestartCommandIsANormalStart) {
  // As Qt registers the program for restart, and as a saved session starts it.
  EXPECT_EQ(parseProgramArguments({"-session", "10d2a7c3f1000170000000021_1702200000_123456"}),
            ProgramArguments(args::Run{false, "", "10d2a7c3f1000170000000021_1702200000_123456"}));
  // Qt reads "--session" as "-session", and the ID whatever it looks like.
  EXPECT_EQ(parseProgramArguments({"--show-dock-icon", "--session", "-x", "--help"}),
            ProgramArguments(args::Help{}));
  EXPECT_EQ(parseProgramArguments({"--session", "--help"}), ProgramArguments(args::Run{false, "", "--help"}));
  // Without its value, or as a prefix, or after the end of options, it is nothing of Qt's.
  EXPECT_EQ(parseProgramArguments({"-session"}), ProgramArguments(args::UnknownOption{"-session"}));
  EXPECT_EQ(parseProgramArguments({"-session=abc"}), ProgramArguments(args::UnknownOption{"-session=abc"}));
  EXPECT_EQ(parseProgramArguments({"--", "-session", "abc"}), ProgramArguments(args::Run{}));
}

TEST(ProgramArgumentsTest, OnlyStartsAtLoginAndRestoredSessionsAreNotTheUsers) {
  const auto run = [](const std::vector<std::string>& arguments) {
    return std::get<args::Run>(parseProgramArguments(arguments));
  };
  EXPECT_EQ(run({"--at-login", "--show-dock-icon"}), (args::Run{true, "", "", true}));
  EXPECT_FALSE(isStartedByUser(run({"--at-login"})));
  EXPECT_FALSE(isStartedByUser(run({"-session", "abc"})));
  EXPECT_TRUE(isStartedByUser(run({})));
  // The browser brings the sign-in back to a program that has quit: the user is there.
  EXPECT_TRUE(isStartedByUser(run({"com.tavrel.macos:/oauth/callback?code=c&state=s"})));
  // After the end of options it is an item, which a desktop may pass.
  EXPECT_TRUE(isStartedByUser(run({"--", "--at-login"})));
  EXPECT_EQ(parseProgramArguments({"--at-login=yes"}), ProgramArguments(args::UnknownOption{"--at-login=yes"}));
}

}  // namespace
}  // namespace tavrel
