#include "platform/library.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

namespace {

// The program folder is where bound libraries come from; the tests' own library lives apart from the
// suite's.
class Binding : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("WAVEDESK_PROGRAM_DIR");
    saved_ = old != nullptr ? old : "";
    ::setenv("WAVEDESK_PROGRAM_DIR", TEST_LIBRARY_DIR, 1);
  }
  void TearDown() override { ::setenv("WAVEDESK_PROGRAM_DIR", saved_.c_str(), 1); }

 private:
  std::string saved_;
};

TEST_F(Binding, CallsFunctionsOfALibraryNamedLikeADll) {
  platform::BoundLibrary library("WDTEST_BOUND.DLL");
  EXPECT_EQ(library.fileName(), "WDTEST_BOUND.so");
  EXPECT_EQ((library.call<int(int, int)>("AddNumbers", 2, 3)), 5);
  library.call<void(int)>("Remember", 42);
  EXPECT_EQ(library.call<int()>("Remembered"), 42);
  EXPECT_TRUE(library.available());
}

TEST_F(Binding, MissingLibrariesAndFunctionsAreNoOps) {
  platform::BoundLibrary missing("c:\\windows\\system\\nothere.ocx");
  EXPECT_FALSE(missing.available());
  EXPECT_EQ((missing.call<int(int, int)>("AddNumbers", 2, 3)), 0);
  EXPECT_EQ((missing.callOr<int(int, int)>(-7, "AddNumbers", 2, 3)), -7);
  missing.call<void(int)>("Remember", 1);

  platform::BoundLibrary library("wdtest_bound.dll");
  EXPECT_EQ(library.function<int()>("NoSuchFunction"), nullptr);
  EXPECT_EQ((library.callOr<int()>(99, "NoSuchFunction")), 99);
}

}  // namespace
