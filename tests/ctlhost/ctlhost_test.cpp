// ctlhost as its users drive it: a command script in, one answer line per command out.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>

#include "tests/support/temp_prefix.h"
#include "tools/ctlhost/commands.h"

namespace {

std::string runScript(const std::string& script) {
  testsupport::TempPrefix prefix;
  std::filesystem::path file = prefix.root() / "script.txt";
  std::ofstream(file, std::ios::binary) << script;
  std::string command = "WAVEDESK_PROGRAM_DIR=" CTL_BIN_DIR " " WAVEDESK_BIN_DIR "/ctlhost --prefix " +
                        prefix.root().string() + " " + file.string() + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string output;
  std::array<char, 512> buffer{};
  while (pipe != nullptr && std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) output += buffer.data();
  if (pipe != nullptr) ::pclose(pipe);
  return output;
}

TEST(CtlHost, ControlsPropertiesMethodsAndVariables) {
  std::string output = runScript(
      "create e wdtest_controls Echo\n"
      "set e typ Szene\n"
      "set E Name \"S_\\xC4\"\n"
      "get e Name\n"
      "set e Text \"two words\"\n"
      "call e onUpper \"caf\\xE9 au lait\"\n"
      "call e Sum 2 40\n"
      "call e onPublish \"line\\r\\nnext\"\n"
      "var set Szene \"S_\\xC4\" Echo host\n"
      "var writes\n"
      "var writes\n"
      "var get szene \"s_\\xE4\" ECHO\n"
      "var get szene s_x echo\n"
      "var list\n"
      "call e onFail x\n"
      "call e Sum 1\n"
      "key esc after 3\n"
      "call e onCountChecks \"\"\n"
      "destroy e\n"
      "call e onUpper x\n"
      "quit\n"
      "get e Name\n");
  EXPECT_EQ(output,
            "ok\n"
            "ok\n"
            "ok\n"
            "ok \"S_\\xC4\"\n"
            "ok\n"
            "ok \"CAF\\xC9 AU LAIT\"\n"
            "ok \"2\" \"40\" => \"42\"\n"
            "ok \"line\\r\\nnext\"\n"
            "ok\n"
            "write \"Szene\" \"S_\\xC4\" \"Echo\" \"line\\r\\nnext\"\n"
            "write \"Szene\" \"S_\\xC4\" \"Text\" \"two words\"\n"
            "ok 2\n"
            "ok 0\n"
            "ok \"host\"\n"
            "ok \"$%$\"\n"
            "var \"Szene\" \"S_\\xC4\" \"Echo\" \"host\"\n"
            "var \"Szene\" \"S_\\xC4\" \"Text\" \"two words\"\n"
            "ok 2\n"
            "ok \"partial\"\n"
            "ok \"1\"\n"
            "ok\n"
            "ok \"3\"\n"
            "ok\n"
            "error no control \"e\"\n"
            "ok\n");
}

TEST(CtlHost, MistakesAreAnsweredAndTheSessionGoesOn) {
  std::string output = runScript(
      "create e nolibrary Echo\n"
      "create e wdtest_controls NoClass\n"
      "create e wdtest_controls echo\n"
      "create e wdtest_controls echo\n"
      "get e Colour\n"
      "set e Colour red\n"
      "call e onNothing\n"
      "\"open\n"
      "key f5\n"
      "answer printer x\n"
      "answer open c:\\a.svc\n"
      "pump 5\n"
      "frobnicate\n");
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = output.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(output.substr(start, end - start));
  ASSERT_EQ(lines.size(), 13u) << output;
  std::vector<std::string> expectedStarts = {"error no library", "error no class", "ok", "error a control named",
                                             "error no property", "error no property", "error no method",
                                             "error unclosed quote", "error usage: key", "error no dialog kind",
                                             "ok", "ok", "error unknown command"};
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind(expectedStarts[i], 0), 0u) << lines[i];
}

TEST(CtlHostTokens, QuotesAndEscapesRoundTrip) {
  auto tokens = ctlhost::tokenize("a  \"b c\" \"\\\"\\\\\\r\\n\\t\\x00\\xff\" \"\"");
  ASSERT_TRUE(tokens);
  EXPECT_EQ(*tokens, (std::vector<std::string>{"a", "b c", std::string("\"\\\r\n\t\0\xFF", 7), ""}));
  for (const char* bad : {"\"open", "\"\\q\"", "\"\\x4\"", "\"\\"}) EXPECT_FALSE(ctlhost::tokenize(bad)) << bad;
  std::string every;
  for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
  auto back = ctlhost::tokenize(ctlhost::quote(every));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, std::vector<std::string>{every});
}

}  // namespace
