// The eight port components of the main window: their form values, the
// binding to channels, and closing them with the window.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/main_window_fixture.h"
#include "support/pty_pair.h"
#include "support/gui_wait.h"
#include "toolkit/gui_queue.h"

namespace {

using SerialBindingTest = MainWindowTest;

TEST_F(SerialBindingTest, ComponentsCarryTheFormValues) {
  for (int ch = 0; ch < kChannels; ++ch) {
    SCOPED_TRACE(ch);
    const TComm& comm = *window->SPComm[ch];
    EXPECT_EQ(comm.BaudRate(), 1000000u);
    EXPECT_EQ(comm.ByteSize(), TByteSize::_8);
    EXPECT_EQ(comm.Parity(), TParity::None);
    EXPECT_EQ(comm.StopBits(), TStopBits::_2);
    EXPECT_EQ(comm.DtrControl(), TDtrControl::DtrDisable);
    EXPECT_EQ(comm.RtsControl(), TRtsControl::RtsDisable);
    EXPECT_FALSE(comm.Outx_XonXoffFlow());
    EXPECT_FALSE(comm.Inx_XonXoffFlow());
    EXPECT_EQ(comm.ReadIntervalTimeout(), ch < 4 ? 5u : 3u);
    EXPECT_EQ(comm.CommName(), "COM2");
    EXPECT_EQ(comm.PortHandle(), 0);
  }
}

TEST_F(SerialBindingTest, ExitClosesEveryOpenPortOnce) {
  PtyPair a, b;
  window->SPComm[0]->SetCommName(a.SlavePath());
  window->SPComm[5]->SetCommName(b.SlavePath());
  window->SPComm[0]->OpenPort();
  window->SPComm[5]->OpenPort();
  window->show();
  window->SpdBtnExitClick(nullptr);
  for (TComm* comm : window->SPComm) EXPECT_EQ(comm->PortHandle(), 0);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(SerialBindingTest, ClosingTheWindowClosesOpenPorts) {
  PtyPair a;
  window->SPComm[3]->SetCommName(a.SlavePath());
  window->SPComm[3]->OpenPort();
  window->show();
  window->close();
  EXPECT_EQ(window->SPComm[3]->PortHandle(), 0);
}

TEST_F(SerialBindingTest, AHungUpLineFreesItsPort) {
  PtyPair a;
  window->SPComm[1]->SetCommName(a.SlavePath());
  window->SPComm[1]->OpenPort();
  a.CloseMaster();
  EXPECT_TRUE(DrainUntil([&] { return window->SPComm[1]->PortHandle() == 0; }));
}

}  // namespace
