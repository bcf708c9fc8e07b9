// The main of every test executable: GoogleTest with a listener that gives
// each test a clean process (see process_state.h).
#include <gtest/gtest.h>

#include "support/process_state.h"

namespace {

class ProcessStateListener : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { ResetProcessState(); }
  // After as well, so that no hook is left pointing into a finished test.
  void OnTestEnd(const ::testing::TestInfo&) override { ResetProcessState(); }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new ProcessStateListener);
  return RUN_ALL_TESTS();
}
