// Every console test runs against real widgets, offscreen. One application
// object serves the whole test program; it is made before the first test.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <memory>

#include "toolkit/qt/qt_bindings.h"

namespace {

class QtEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "console_tests";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<TApplication>(argc, argv);
    TApplication::setApplicationName("OrvantGenBEM");
  }
  void TearDown() override { app_.reset(); }

private:
  std::unique_ptr<TApplication> app_;
};

const auto* const kRegistered = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
