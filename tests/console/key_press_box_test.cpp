// One Space or Enter, one Auto Program, also when the key opens a guard's box:
// real keys through Qt into the shown window, a real message box, closed as
// the operator closes it, by a key or by a click on its button. The box takes
// the focus while it is open, and the key that opened it goes on up the
// widgets once it has closed; a scripted answer takes no focus and could not
// show a second run.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "link/wire.h"
#include "support/command_fixture.h"
#include "toolkit/qt/qt_bindings.h"

namespace {

struct KeyCase {
  const char* name;
  Qt::Key key;
  uint8_t chipSelected, dataLoaded;
  const char* box;
};

// As the operator met them: Enter with no chip chosen, Space with no data.
const KeyCase kKeys[] = {
    {"EnterWithoutAChip", Qt::Key_Return, 0, 0, "请选择并确认芯片型号！"},
    {"SpaceWithoutData", Qt::Key_Space, 1, 0, "请加载目标文件！"},
};

enum class Close { ByKey, ByClick };
// Where the key comes in: at the focused control, as QTest types it, or at
// the window, as the platform hands it to Qt.
enum class Route { FocusedControl, Window };

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }
void PrintTo(Close c, std::ostream* os) { *os << (c == Close::ByKey ? "closed by a key" : "closed by a click"); }
void PrintTo(Route r, std::ostream* os) { *os << (r == Route::Window ? "at the window" : "at the focused control"); }

class KeyPressBoxTest : public CommandTest, public ::testing::WithParamInterface<std::tuple<KeyCase, Close, Route>> {
 protected:
  // Closes every box that opens, the way the case says, and counts them.
  void CloseBoxesAsTheyOpen(Close close) {
    auto* closer = new QTimer(window.get());
    QObject::connect(closer, &QTimer::timeout, [this, close] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) return;
      ++closed;
      if (close == Close::ByClick) {
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        return;
      }
      QWidget* focus = QApplication::focusWidget();
      QTest::keyClick(focus != nullptr && focus->window() == box ? focus : box, Qt::Key_Return);
    });
    closer->start(10);
  }

  size_t EmptyLines() {
    size_t n = 0;
    for (const std::string& line : LogLines()) n += line.empty() ? 1 : 0;
    return n;
  }

  std::vector<std::string> shown;
  int closed = 0;
};

TEST_P(KeyPressBoxTest, OneKeyOpensOneBoxAndAddsOneEmptyLogLine) {
  const auto& [key, close, route] = GetParam();
  ASSERT_TRUE(ShowWithFocusIn(window->PanelBtns));
  g.ChipSelected = key.chipSelected;
  g.DataLoaded = key.dataLoaded;
  // From here on the boxes are real, and counted as they open.
  SetMessageBoxObserver([this](const MessageBoxRequest& box) { shown.push_back(box.text); });
  InstallQtDialogResponders();
  CloseBoxesAsTheyOpen(close);
  const size_t emptyBefore = EmptyLines();

  if (route == Route::Window)
    QTest::keyClick(window->windowHandle(), key.key);
  else
    QTest::keyClick(QApplication::focusWidget(), key.key);
  // Whatever would come after the key (a second box, late) has its time.
  QTest::qWait(100);

  EXPECT_EQ(shown, std::vector<std::string>{key.box});
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(EmptyLines(), emptyBefore + 1);
  EXPECT_EQ(g.ChannelState[0], TChannelState::Idle);
  EXPECT_TRUE(LineStaysQuiet(*lines[0]));
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyPressBoxTest,
                         ::testing::Combine(::testing::ValuesIn(kKeys), ::testing::Values(Close::ByKey, Close::ByClick),
                                            ::testing::Values(Route::FocusedControl, Route::Window)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == Close::ByKey ? "ClosedByKey" : "ClosedByClick") +
                                  (std::get<2>(info.param) == Route::Window ? "AtTheWindow" : "AtTheFocusedControl");
                         });

using KeyPressRunTest = CommandTest;

// With a chip and data the same key starts Auto Program once: one empty log
// line, and the blank check on the line.
TEST_F(KeyPressRunTest, OneKeyStartsAutoProgramOnce) {
  ASSERT_TRUE(ShowWithFocusIn(window->PanelBtns));
  const size_t logBefore = LogCount();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  ASSERT_GT(LogCount(), logBefore);
  EXPECT_EQ(LogLines()[logBefore], "");
  EXPECT_EQ(std::count(LogLines().begin() + static_cast<ptrdiff_t>(logBefore), LogLines().end(), ""), 1);
  EXPECT_EQ(g.ChannelState[0], TChannelState::BlankCheck);
  std::optional<std::vector<uint8_t>> packet = ReadPacket(*lines[0]);
  ASSERT_TRUE(packet.has_value());
  EXPECT_EQ(PacketArgument(*packet), kOpBlankCheck);
}

}  // namespace
