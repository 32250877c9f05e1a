// fxrender drives the shipped library over WAV files as the host would.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "sv_f_02/fx_test_support.h"
#include "wav_file.h"

namespace {

namespace fs = std::filesystem;

class FxRender : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "fxrender-test-XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data());
  }
  void TearDown() override { fs::remove_all(folder_); }

  // A second of a chord with a click, as 16-bit or float stereo.
  std::string writeInput(bool asFloat) {
    fxrender::StereoAudio audio;
    for (int i = 0; i < 44100; ++i) {
      double t = i / 44100.0;
      audio.left.push_back(static_cast<float>(0.3 * std::sin(2 * M_PI * 220 * t) + (i == 1000 ? 0.5 : 0.0)));
      audio.right.push_back(static_cast<float>(0.3 * std::sin(2 * M_PI * 330 * t)));
    }
    std::string path = (folder_ / (asFloat ? "in-float.wav" : "in.wav")).string();
    EXPECT_TRUE(fxrender::writeWav(path, audio, asFloat));
    return path;
  }

  int render(const std::string& arguments) {
    std::string command = "WAVEDESK_PREFIX=" + (folder_ / "prefix").string() + " " WAVEDESK_BIN_DIR
                          "/fxrender --quiet " + arguments + " > " + (folder_ / "log").string() + " 2>&1";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  static std::string bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  fs::path folder_;
};

TEST_F(FxRender, RendersReproduciblyInEveryFormat) {
  const std::string in = writeInput(false);
  const std::string out1 = (folder_ / "a.wav").string(), out2 = (folder_ / "b.wav").string();
  const std::string effects = "-b 300 -p 20=1 -p 1600=1 -p 10=1 -p 1300=0.9 -p 60=1 -p 1900=400 -p 1901=100 ";
  ASSERT_EQ(render(effects + in + " " + out1), 0) << bytes(folder_ / "log");
  ASSERT_EQ(render(effects + in + " " + out2), 0);
  EXPECT_EQ(bytes(out1), bytes(out2));  // the same input and parameters give the same samples

  std::string error;
  auto rendered = fxrender::readWav(out1, error);
  ASSERT_TRUE(rendered) << error;
  EXPECT_FALSE(rendered->floatSamples);
  EXPECT_EQ(rendered->left.size(), 44100u);
  auto original = fxrender::readWav(in, error);
  EXPECT_NE(rendered->left, original->left);

  const std::string floatIn = writeInput(true);
  ASSERT_EQ(render("-b 4096 -p 70=1 -p 2001=1000 " + floatIn + " " + out1), 0) << bytes(folder_ / "log");
  rendered = fxrender::readWav(out1, error);
  ASSERT_TRUE(rendered) << error;
  EXPECT_TRUE(rendered->floatSamples);
  EXPECT_EQ(rendered->right.size(), 44100u);
}

// Through the tool, the equaliser gives what the chain gives in this process for the same blocks.
TEST_F(FxRender, DrivesTheLibraryBlockByBlock) {
  const std::string in = writeInput(true);
  const std::string out = (folder_ / "eq.wav").string();
  ASSERT_EQ(render("-b 333 -p 10=1 -p 1305=0 -p 1300=1 " + in + " " + out), 0) << bytes(folder_ / "log");
  std::string error;
  auto rendered = fxrender::readWav(out, error);
  auto expected = fxrender::readWav(in, error);
  ASSERT_TRUE(rendered && expected);

  fxtest::ConstantsFolder tables;
  ASSERT_EQ(fx::initChain(333), 0);
  fx::setParameter(10, 1);
  fx::setParameter(1305, 0);
  fx::setParameter(1300, 1);
  for (size_t start = 0; start < expected->left.size(); start += 333) {
    const size_t n = std::min<size_t>(333, expected->left.size() - start);
    fx::convert(expected->left.data() + start, expected->right.data() + start, static_cast<int>(n * 4));
  }
  fx::closeChain();
  EXPECT_EQ(rendered->left, expected->left);
  EXPECT_EQ(rendered->right, expected->right);
}

TEST_F(FxRender, RefusesWhatItCannotDo) {
  const std::string in = writeInput(false);
  const std::string out = (folder_ / "x.wav").string();
  EXPECT_EQ(render("-p 10=0.5 " + in + " " + out), 1);  // rejected by the library
  EXPECT_EQ(render("-p 10 " + in + " " + out), 2);      // not ID=VALUE
  EXPECT_EQ(render("-b 0 " + in + " " + out), 2);
  EXPECT_EQ(render(in), 2);
  std::ofstream(folder_ / "junk.wav") << "RIFF....WAVEjunk";
  EXPECT_EQ(render((folder_ / "junk.wav").string() + " " + out), 1);
  EXPECT_FALSE(fs::exists(out));
}

TEST(WavFile, ReadsTruncatedAndOddFilesSafely) {
  std::string error;
  const uint8_t header[] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                            1,   0,   2,   0,   0x44, 0xac, 0, 0, 0, 0, 0, 0, 4, 0, 16, 0, 'd', 'a', 't', 'a',
                            0xff, 0xff, 0xff, 0xff, 0x00, 0x40, 0x00, 0xc0, 0x01};
  auto audio = fxrender::parseWav(header, sizeof header, error);
  ASSERT_TRUE(audio) << error;  // the data chunk claims more than there is: what is there is read
  ASSERT_EQ(audio->left.size(), 1u);
  EXPECT_EQ(audio->left[0], 0.5f);
  EXPECT_EQ(audio->right[0], -0.5f);
  EXPECT_FALSE(fxrender::parseWav(header, 20, error));
  EXPECT_FALSE(fxrender::parseWav(nullptr, 0, error));
}

}  // namespace
