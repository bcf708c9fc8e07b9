// An edit's text set from a zero-padded field: the edit holds the text up to
// the first zero, and raises its change event only when that differs from
// what it held.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <string>

#include "toolkit/qt/edit_text.h"

namespace {

using namespace std::string_literals;

struct EditCase {
  const char* name;
  std::string before;  // set first, as a plain text
  std::string set;
  std::string held;
  int changes;  // change events raised by the second setting
};

void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }

// clang-format off
const EditCase kEdits[] = {
  {"SameNamePadded",     "FU6813L", "FU6813L\0\0\0\0\0\0\0\0\0\0\0\0\0"s, "FU6813L", 0},
  {"SameNamePlain",      "FU6813L", "FU6813L",                           "FU6813L", 0},
  {"OtherNamePadded",    "FU6811N", "FU6813L\0\0\0\0\0"s,                 "FU6813L", 1},
  {"PromptToName",       "请选择目标MCU的型号...", "FU6813L\0\0\0"s,        "FU6813L", 1},
  {"AllPadding",         "FU6813L", "\0\0\0\0"s,                          "",        1},
  {"ChineseText",        "",        "芯片读出数据\0\0"s,                    "芯片读出数据", 1},
};
// clang-format on

class EditTextTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(EditTextTest, HoldsTheTextUpToItsFirstZeroAndChangesOnlyForANewText) {
  const EditCase& c = GetParam();
  QLineEdit edit;
  SetEditText(edit, c.before);
  int changes = 0;
  QObject::connect(&edit, &QLineEdit::textChanged, [&] { ++changes; });
  SetEditText(edit, c.set);
  EXPECT_EQ(edit.text().toStdString(), c.held);
  EXPECT_FALSE(edit.text().contains(QChar(0)));
  EXPECT_EQ(changes, c.changes);
}

INSTANTIATE_TEST_SUITE_P(Texts, EditTextTest, ::testing::ValuesIn(kEdits),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
