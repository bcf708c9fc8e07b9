// The main window's form: its components with their geometry,
// captions, hints and shortcuts, and the bindings of their events.
#include "console/main_window.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <chrono>

#include "console/hex_grid_model.h"
#include "console/hex_grid_view.h"
#include "toolkit/qt/gauge_widget.h"
#include "toolkit/qt/memo_view.h"
#include "toolkit/qt/qt_bindings.h"

namespace {

using namespace std::chrono_literals;

// Client area of the window, pixels: the menu bar comes on top of it.
constexpr int kClientWidth = 914;
constexpr int kClientHeight = 577;
constexpr int kPanelBtnsHeight = 41;
constexpr int kStatusBarHeight = 27;
constexpr QRect kViewPageCtrlRect(0, 48, 918, 497);

// Positions inside the page ChipSett.
constexpr QRect kGroupBoxChipRect(4, 2, 348, 112);
constexpr QRect kGroupBoxCfgRect(4, 116, 348, 268);
constexpr QRect kPageControlSetRect(8, 20, 332, 240);
constexpr QRect kGroupBoxComRect(4, 386, 348, 80);
constexpr QRect kComboBoxCOMRect(10, 28, 150, 26);
constexpr QRect kBitBtnFindDevRect(170, 26, 168, 30);
constexpr QRect kInfoPanelRect(358, 4, 551, 28);
constexpr QRect kInfoMemoRect(358, 35, 551, 318);
constexpr int kGaugeLeft = 358;
constexpr int kGaugeWidth = 551;
constexpr int kGaugeHeight = 18;
// Tops of Gauge1..Gauge8, one row of 19 pixels each.
constexpr int kGaugeTops[kChannels] = {317, 336, 355, 374, 393, 412, 431, 450};

constexpr int kStatusPanelWidths[] = {160, 160, 400};
constexpr const char* kStatusPanelTexts[] = {"文件校验和：", "芯片校验和：", ""};

constexpr int kHexRowHeight = 20;  // pixels
// The hex column widths, chosen so that an address, a byte and a 16-character
// text row fit at the default fixed-width font; the start-up view set-up sets
// the address and text columns to the same widths again.
constexpr int kHexByteColumnWidth = 25;
constexpr int kFlashAddressColumnWidth = 70;
constexpr int kEepAddressColumnWidth = 73;
constexpr int kHexTextColumnWidth = 130;
constexpr QColor kFlashViewColor(0x00, 0x00, 0x80);  // navy
constexpr QColor kEepViewColor(0x00, 0x80, 0x00);    // green
constexpr QColor kInfoMemoColor(0x00, 0x00, 0xFF);   // blue

constexpr auto kTimer1Interval = 10ms;
constexpr auto kTimer2Interval = 100ms;

}  // namespace

TOrvantBEMxPrg::TOrvantBEMxPrg(QWidget* parent) : QMainWindow(parent) {
  setObjectName("OrvantBEMxPrg");
  setWindowTitle("OrvantBEMxPrg");
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  auto* client = new QWidget(this);
  client->setObjectName("ClientArea");
  client->setFixedSize(kClientWidth, kClientHeight - kStatusBarHeight);
  setCentralWidget(client);

  BuildButtonPanel();
  ViewPageCtrl = new QTabWidget(client);
  ViewPageCtrl->setObjectName("ViewPageCtrl");
  ViewPageCtrl->setGeometry(kViewPageCtrlRect);
  BuildChipSettingPage();
  BuildHexViews();
  BuildStatusBar();
  BuildMenus();
  BuildDialogsAndTimers();
  CreateSerialComponents();

  setFixedSize(kClientWidth, MainMenu1->sizeHint().height() + kClientHeight);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  // Key preview: the window sees each key before the focused control.
  qApp->installEventFilter(this);
}

TOrvantBEMxPrg::~TOrvantBEMxPrg() {
  infoMemo_.SetOnAdded(nullptr);
  infoMemo_.SetOnCleared(nullptr);
  comboBoxCOM_.SetOnChange(nullptr);
  if (g.OrvantBEMxPrg == this) g.OrvantBEMxPrg = nullptr;
  if (g.LogMemo == &infoMemo_) g.LogMemo = nullptr;
  for (int ch = 0; ch < kChannels; ++ch) {
    g.ChannelGauge[ch] = nullptr;
    g.ChannelComm[ch] = nullptr;
  }
}

void TOrvantBEMxPrg::BuildButtonPanel() {
  PanelBtns = new QWidget(centralWidget());
  PanelBtns->setObjectName("PanelBtns");
  PanelBtns->setGeometry(0, 0, kClientWidth, kPanelBtnsHeight);
  PanelBtns->setFocusPolicy(Qt::StrongFocus);
  SpdBtnOpen = AddSpeedButton("SpdBtnOpen", "&加载数据", "Load Object File", 4, 84, &TOrvantBEMxPrg::FileOpenBtnClick);
  SpdBtnLoadMore = AddSpeedButton("SpdBtnLoadMore", "加载更多数据", "", 90, 96, &TOrvantBEMxPrg::SpdBtnLoadMoreClick);
  SpdBtnLdPrj = AddSpeedButton("SpdBtnLdPrj", "打开工程", "加载工程文件", 188, 84, &TOrvantBEMxPrg::SpdBtnLdPrjClick);
  SpdBtnDownLoad = AddSpeedButton("SpdBtnDownLoad", "下载", "", 290, 70, &TOrvantBEMxPrg::SpdBtnDownLoadClick);
  AutoSpdBtn = AddSpeedButton("AutoSpdBtn", "自动", "", 362, 70, &TOrvantBEMxPrg::AutoSpdBtnClick);
  SpdBtnBlankChk = AddSpeedButton("SpdBtnBlankChk", "查空", "", 434, 70, &TOrvantBEMxPrg::SpdBtnBlankChkClick);
  SpdBtnErase = AddSpeedButton("SpdBtnErase", "擦除", "", 506, 70, &TOrvantBEMxPrg::SpdBtnEraseClick);
  SpdBtnProg = AddSpeedButton("SpdBtnProg", "编程", "", 578, 70, &TOrvantBEMxPrg::SpdBtnProgClick);
  SpdBtnVerify = AddSpeedButton("SpdBtnVerify", "校验", "", 650, 70, &TOrvantBEMxPrg::SpdBtnVerifyClick);
  SpdBtnExit = AddSpeedButton("SpdBtnExit", "退出", "Exit Application", 836, 70, &TOrvantBEMxPrg::SpdBtnExitClick);
}

QToolButton* TOrvantBEMxPrg::AddSpeedButton(const char* name, const char* caption, const char* hint, int left,
                                            int width, void (TOrvantBEMxPrg::*handler)(QObject*)) {
  auto* button = new QToolButton(PanelBtns);
  button->setObjectName(name);
  button->setText(QString::fromUtf8(caption));
  button->setToolTip(QString::fromUtf8(hint));
  button->setGeometry(left, 3, width, kPanelBtnsHeight - 6);
  // Speed buttons never take the focus: a click leaves it where it was.
  button->setFocusPolicy(Qt::NoFocus);
  button->setAutoRaise(true);
  connect(button, &QToolButton::clicked, this, [this, button, handler] { (this->*handler)(button); });
  return button;
}

void TOrvantBEMxPrg::BuildChipSettingPage() {
  ChipSett = new QWidget;
  ChipSett->setObjectName("ChipSett");
  ViewPageCtrl->addTab(ChipSett, "Chip Setting");

  GroupBoxChip = new QGroupBox("芯片设置", ChipSett);
  GroupBoxChip->setObjectName("GroupBoxChip");
  GroupBoxChip->setGeometry(kGroupBoxChipRect);
  GroupBoxCfg = new QGroupBox("烧写功能配置", ChipSett);
  GroupBoxCfg->setObjectName("GroupBoxCfg");
  GroupBoxCfg->setGeometry(kGroupBoxCfgRect);
  PageControlSet = new QTabWidget(GroupBoxCfg);
  PageControlSet->setObjectName("PageControlSet");
  PageControlSet->setGeometry(kPageControlSetRect);
  struct Page {
    QWidget** member;
    const char* name;
    const char* caption;
  };
  for (const Page& page : {Page{&TabSheet2, "TabSheet2", "数量设置和芯片检测"},
                           Page{&TabSheet3, "TabSheet3", "信号输出控制"},
                           Page{&TabSheet1, "TabSheet1", "序列号设置"}}) {
    *page.member = new QWidget;
    (*page.member)->setObjectName(page.name);
    PageControlSet->addTab(*page.member, QString::fromUtf8(page.caption));
  }
  BuildChipGroup();
  BuildCountPage();
  BuildOutputPage();
  BuildSerialNumberPage();

  GroupBoxCom = new QGroupBox("通讯配置", ChipSett);
  GroupBoxCom->setObjectName("GroupBoxCom");
  GroupBoxCom->setGeometry(kGroupBoxComRect);
  ComboBoxCOMView = new QComboBox(GroupBoxCom);
  ComboBoxCOMView->setObjectName("ComboBoxCOM");
  ComboBoxCOMView->setGeometry(kComboBoxCOMRect);
  // Editable so that it can show a text that is no item ("请连接设备......");
  // the list itself comes only from the program.
  ComboBoxCOMView->setEditable(true);
  ComboBoxCOMView->lineEdit()->setReadOnly(true);
  comboBoxCOM_.SetOnChange([this] { MirrorComboBox(); });
  BitBtnFindDev = new QPushButton("查找并连接设备", GroupBoxCom);
  BitBtnFindDev->setObjectName("BitBtnFindDev");
  BitBtnFindDev->setGeometry(kBitBtnFindDevRect);
  connect(BitBtnFindDev, &QPushButton::clicked, this, [this] { BitBtnFindDevClick(BitBtnFindDev); });

  InfoPanel = new QLabel("Device = ??????", ChipSett);
  InfoPanel->setObjectName("InfoPanel");
  InfoPanel->setGeometry(kInfoPanelRect);
  InfoPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  InfoPanel->setAlignment(Qt::AlignCenter);

  // Lines drawn only when in sight: the log of a long shift costs its text.
  InfoMemoView = new TMemoView(infoMemo_, ChipSett);
  InfoMemoView->setObjectName("InfoMemo");
  InfoMemoView->setGeometry(kInfoMemoRect);
  InfoMemoView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QPalette palette = InfoMemoView->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Window));
  palette.setColor(QPalette::Text, kInfoMemoColor);
  InfoMemoView->setPalette(palette);
  // "宋体" where it is installed, else a CJK face that Linux desktops carry.
  QFont memoFont;
  memoFont.setFamilies({"宋体", "SimSun", "Noto Serif CJK SC", "Noto Sans CJK SC", "WenQuanYi Micro Hei"});
  memoFont.setPixelSize(12);
  InfoMemoView->setFont(memoFont);

  PopupMenu2 = new QMenu(this);
  PopupMenu2->setObjectName("PopupMenu2");
  ClearInformation1 = PopupMenu2->addAction("Clear Information");
  ClearInformation1->setObjectName("ClearInformation1");
  BindAction(ClearInformation1, &TOrvantBEMxPrg::ClearInformation1Click);
  CopytoCli1 = PopupMenu2->addAction("Copy Information");
  CopytoCli1->setObjectName("CopytoCli1");
  BindAction(CopytoCli1, &TOrvantBEMxPrg::CopytoCli1Click);
  InfoMemoView->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(InfoMemoView, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu2->popup(InfoMemoView->viewport()->mapToGlobal(at)); });

  for (int ch = 0; ch < kChannels; ++ch) {
    Gauges[ch] = new TGaugeWidget(ChipSett);
    Gauges[ch]->setObjectName(QString("Gauge%1").arg(ch + 1));
    Gauges[ch]->setGeometry(kGaugeLeft, kGaugeTops[ch], kGaugeWidth, kGaugeHeight);
  }
}

void TOrvantBEMxPrg::BuildHexViews() {
  struct View {
    QWidget** page;
    const char* pageName;
    const char* caption;
    QTableView** view;
    const char* viewName;
    THexGridModel** cells;
    QColor color;
    int addressWidth;
  };
  for (const View& v : {View{&TabSheetFlash, "TabSheetFlash", "Main Flash", &HexViewer, "HexViewer", &HexViewerCells,
                             kFlashViewColor, kFlashAddressColumnWidth},
                        View{&TabSheetEEP, "TabSheetEEP", "EEP Data", &EEPDataView, "EEPDataView", &EEPDataViewCells,
                             kEepViewColor, kEepAddressColumnWidth}}) {
    *v.page = new QWidget;
    (*v.page)->setObjectName(v.pageName);
    ViewPageCtrl->addTab(*v.page, v.caption);
    auto* layout = new QVBoxLayout(*v.page);
    layout->setContentsMargins(0, 0, 0, 0);
    *v.view = new THexGridView({v.addressWidth, kHexByteColumnWidth, kHexTextColumnWidth}, *v.page);
    (*v.view)->setObjectName(v.viewName);
    *v.cells = new THexGridModel(v.color, *v.view);
    (*v.view)->setModel(*v.cells);
    (*v.view)->verticalHeader()->hide();
    (*v.view)->verticalHeader()->setDefaultSectionSize(kHexRowHeight);
    (*v.view)->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    (*v.view)->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    (*v.view)->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    (*v.view)->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(*v.view);
  }
}

void TOrvantBEMxPrg::BuildStatusBar() {
  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setFixedHeight(kStatusBarHeight);
  StatusBar1->setSizeGripEnabled(false);
  for (size_t i = 0; i < std::size(kStatusPanelWidths); ++i) {
    auto* panel = new QLabel(QString::fromUtf8(kStatusPanelTexts[i]), StatusBar1);
    panel->setObjectName(QString("StatusPanel%1").arg(i));
    panel->setFixedWidth(kStatusPanelWidths[i]);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusBar1->addWidget(panel);
  }
  setStatusBar(StatusBar1);
}

void TOrvantBEMxPrg::BuildMenus() {
  MainMenu1 = menuBar();
  MainMenu1->setObjectName("MainMenu1");

  File1 = MainMenu1->addMenu("&File");
  File1->setObjectName("File1");
  Execute1 = AddMenuEntry(File1, "Execute1", "&Load Object File", "F3", &TOrvantBEMxPrg::FileOpenBtnClick);
  SaveFile1 = AddMenuEntry(File1, "SaveFile1", "&Save Memory to File", "F2", &TOrvantBEMxPrg::FileSaveBtnClick);
  File1->addSeparator();
  LoadFromProjectFile1 = AddMenuEntry(File1, "LoadFromProjectFile1", "Load From Project File", "Ctrl+F3",
                                      &TOrvantBEMxPrg::SpdBtnLdPrjClick);
  SavetoProjectFile1 = AddMenuEntry(File1, "SavetoProjectFile1", "Save to Project File", "Ctrl+F2",
                                    &TOrvantBEMxPrg::SavetoProjectFile1Click);
  File1->addSeparator();
  Exit1 = AddMenuEntry(File1, "Exit1", "E&xit", "Ctrl+X", &TOrvantBEMxPrg::SpdBtnExitClick);

  Command1 = MainMenu1->addMenu("&Command");
  Command1->setObjectName("Command1");
  Download1 = AddMenuEntry(Command1, "Download1", "&Download", "F4", &TOrvantBEMxPrg::SpdBtnDownLoadClick);
  Command1->addSeparator();
  AutoProgram1 = AddMenuEntry(Command1, "AutoProgram1", "&Auto Program", "F5", &TOrvantBEMxPrg::AutoSpdBtnClick);
  Command1->addSeparator();
  BlankCheck1 = AddMenuEntry(Command1, "BlankCheck1", "&Blank Check", "F7", &TOrvantBEMxPrg::SpdBtnBlankChkClick);
  EraseChip1 = AddMenuEntry(Command1, "EraseChip1", "&Erase Chip", "F8", &TOrvantBEMxPrg::SpdBtnEraseClick);
  Programming1 = AddMenuEntry(Command1, "Programming1", "&Programming", "F9", &TOrvantBEMxPrg::SpdBtnProgClick);
  VeriufyDownload1 =
      AddMenuEntry(Command1, "VeriufyDownload1", "&Verification", "F10", &TOrvantBEMxPrg::SpdBtnVerifyClick);
  Command1->addSeparator();
  ReadChipCheckSum1 = AddMenuEntry(Command1, "ReadChipCheckSum1", "Read Chip Check&Sum", "",
                                   &TOrvantBEMxPrg::ReadChipCheckSum1Click);
  ReadMG32xxChipID1 = AddMenuEntry(Command1, "ReadMG32xxChipID1", "&Read Chip ID", "Ctrl+I",
                                   &TOrvantBEMxPrg::ReadMG32xxChipID1Click);
  KeepShortcutOfHiddenEntry(ReadMG32xxChipID1, &TOrvantBEMxPrg::ReadMG32xxChipID1Click);
  ReadChipMemory1 =
      AddMenuEntry(Command1, "ReadChipMemory1", "Read Chip Memory", "F12", &TOrvantBEMxPrg::ReadChipMemory1Click);
  KeepShortcutOfHiddenEntry(ReadChipMemory1, &TOrvantBEMxPrg::ReadChipMemory1Click);
  Command1->addSeparator();
  DoFirmwarePpgrade1 = AddMenuEntry(Command1, "DoFirmwarePpgrade1", "Do Firmware Ppgrade", "",
                                    &TOrvantBEMxPrg::DoFirmwarePpgrade1Click);

  StartOfflineProgrm1 = AddMenuEntry(nullptr, "StartOfflineProgrm1", "Start Off-line Progrm", "",
                                     &TOrvantBEMxPrg::StartOfflineProgrm1Click);
  ReadAddress1 = AddMenuEntry(nullptr, "ReadAddress1", "Read Address", "", &TOrvantBEMxPrg::ReadAddress1Click);
  ReadAddress1->setVisible(false);

  Help1 = MainMenu1->addMenu("&Help");
  Help1->setObjectName("Help1");
  About1 = AddMenuEntry(Help1, "About1", "About", "F1", &TOrvantBEMxPrg::About1Click);
}

// menu null: a top-level entry of the menu bar itself.
QAction* TOrvantBEMxPrg::AddMenuEntry(QMenu* menu, const char* name, const char* caption, const char* shortcut,
                                      void (TOrvantBEMxPrg::*handler)(QObject*)) {
  QAction* action = menu ? menu->addAction(caption) : MainMenu1->addAction(caption);
  action->setObjectName(name);
  if (*shortcut) action->setShortcut(QKeySequence(shortcut));
  BindAction(action, handler);
  return action;
}

void TOrvantBEMxPrg::BindAction(QAction* action, void (TOrvantBEMxPrg::*handler)(QObject*)) {
  connect(action, &QAction::triggered, this, [this, action, handler] { (this->*handler)(action); });
}

// Qt ignores the shortcut of an invisible action, while a hidden menu entry
// must still run by its key: the window keeps the key in a shortcut of its own.
void TOrvantBEMxPrg::KeepShortcutOfHiddenEntry(QAction* action, void (TOrvantBEMxPrg::*handler)(QObject*)) {
  auto* key = new QShortcut(action->shortcut(), this);
  key->setObjectName(action->objectName() + "Key");
  connect(key, &QShortcut::activated, this, [this, action, handler] { (this->*handler)(action); });
  action->setVisible(false);
}

void TOrvantBEMxPrg::BuildDialogsAndTimers() {
  OpenDialog1.Filter =
      "All Files (*.*)|*.*|All Binary Files (*.Bin)|*.Bin|All Intel Hex Files (*.Hex)|*.Hex|"
      "All Motorola Hex Files(*.S19)|*.S19;|All Hex/Binary Files (*.Hex,*.S1*,*.Bin)|*.Hex;*.S1*;*.Bin";
  OpenDialog1.FilterIndex = 5;
  SaveDialog1.Filter =
      "All Binary Files(*.BIN)|*.BIN|Intel Hex Files(*.HEX)|*.HEX|Motorola S-record Files(*.mot)|*.S19";
  SaveDialog1.FilterIndex = 1;
  OpenDialogPrj.Title = "Open Orvant200xx Project File";
  OpenDialogPrj.Filter = "Orvantxx Project Files(*.ptv)|*.ptv";
  SaveDialogPrj.Title = "Save to Orvant200xx Project File";
  SaveDialogPrj.Filter = "Orvantxx Project File(*.ptv)|*.ptv";
  SaveDialogPrj.DefaultExt = "ptv";

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(kTimer1Interval);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(Timer1); });
  Timer1->start();
  Timer2 = new QTimer(this);
  Timer2->setObjectName("Timer2");
  Timer2->setInterval(kTimer2Interval);
  connect(Timer2, &QTimer::timeout, this, [this] { Timer2Timer(Timer2); });
}

void TOrvantBEMxPrg::MirrorComboBox() {
  QSignalBlocker quiet(ComboBoxCOMView);
  ComboBoxCOMView->clear();
  for (const std::string& item : comboBoxCOM_.Items()) ComboBoxCOMView->addItem(QString::fromStdString(item));
  ComboBoxCOMView->setEditText(QString::fromStdString(comboBoxCOM_.Text()));
}

void TOrvantBEMxPrg::SetInfoPanelCaption(std::string_view caption) {
  InfoPanel->setText(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
}

void TOrvantBEMxPrg::SetStatusPanelText(int panel, std::string_view text) {
  if (auto* label = StatusBar1->findChild<QLabel*>(QString("StatusPanel%1").arg(panel)))
    label->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

std::string TOrvantBEMxPrg::StatusPanelText(int panel) const {
  auto* label = StatusBar1->findChild<QLabel*>(QString("StatusPanel%1").arg(panel));
  return label ? label->text().toStdString() : std::string();
}

void TOrvantBEMxPrg::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (formShown_) return;
  PanelBtns->setFocus();
  // The toolkit's report, as for any handler: the window opens all the same.
  try {
    FormShow(this);
  } catch (const std::exception& error) {
    ReportException(error);
  }
}

void TOrvantBEMxPrg::closeEvent(QCloseEvent* event) {
  FormClose(this);
  QMainWindow::closeEvent(event);
}

bool TOrvantBEMxPrg::eventFilter(QObject* watched, QEvent* event) {
  // A key press travels from the focused control up its parents; take it once,
  // at the control it was sent to, and never consume it. Not by the focus:
  // a box that the key opens takes it, and when the box has closed the same
  // event goes on up to this window, which then holds no focused control.
  if (event->type() == QEvent::KeyPress && watched->isWidgetType() && KeyPressReceiver(event) == watched) {
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() == this) {
      QString text = static_cast<QKeyEvent*>(event)->text();
      if (text.size() == 1 && text[0].unicode() < 0x80) {
        char key = static_cast<char>(text[0].unicode());
        FormKeyPress(this, key);
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}
