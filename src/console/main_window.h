#pragma once
// TOrvantBEMxPrg: the programmer's main window (form name OrvantBEMxPrg).
// It owns the console's components under their form names, the window log
// (InfoMemo), the port list (ComboBoxCOM), the eight gauges, the file dialogs
// and the two timers, and carries every handler of the console.
//
// Threads: GUI thread only, like everything it calls.
// Lifetime: one instance for the program run; the program body points
// g.OrvantBEMxPrg at it. Components are owned by the window (Qt parents).
// The window's handlers are public so that tests and the rest of the console
// call them exactly as the widgets do.

#include <QMainWindow>
#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/comm.h"
#include "link/port_discovery.h"
#include "shared/main_window.h"
#include "shared/state.h"
#include "toolkit/combo_box.h"
#include "toolkit/dialogs.h"
#include "toolkit/memo.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class QShortcut;
class QStatusBar;
class QTabWidget;
class QTableView;
class QTimer;
class QToolButton;
class QCheckBox;
class QLineEdit;
class TRadioGroup;
class TSpinEditWidget;
class TGaugeWidget;
class TMemoView;
class THexGridModel;

class TOrvantBEMxPrg : public QMainWindow, public IMainWindow {
  Q_OBJECT
public:
  explicit TOrvantBEMxPrg(QWidget* parent = nullptr);
  ~TOrvantBEMxPrg() override;

  // --- What the core reaches (IMainWindow) ---
  // "> ", the time in the locale's long time format, a blank and the text, as
  // a new last line of InfoMemo.
  void LogLine(std::string_view text) override;
  void SetInfoPanelCaption(std::string_view caption) override;
  TComboBoxModel& ComboBoxCOM() override { return comboBoxCOM_; }
  // After a good run, only while ChkBoxPCSN and CheckBoxSN are both ticked:
  // SnValue += SnIncrement (wrapping at 32 bits), and SNEdit1 shows it
  // ("%u" with decimal display, else "0x%0.8x").
  void AdvanceSerialNumber() override;
  // Rebuilds HexViewer from a copy of FlashImage: (end - start) div 16 + 1
  // rows (at most 65,536, cut at the buffer's end) from BaseAddress's row of
  // the buffer; start only sets the count.
  void ShowFlashGrid(uint32_t start, uint32_t end) override;
  // Hides the EEP page when EepSize is 0; otherwise shows it as "OTP Data" and
  // rebuilds EEPDataView with EepSize div 16 rows of EepImage (at most 1,024).
  void ShowEepGrid() override;
  // Logs the image checksums in g (with the flash and EEP ranges when
  // FlashEnd > FlashStart) and shows the CRC in status panel 1.
  void ShowImageChecksums() override;
  // After a chip read: DataFileName and status panel 2 say "芯片读出数据"
  // instead of naming the file loaded before.
  void ShowDataFromChip() override;

  // The window log's lines; the InfoMemo widget mirrors them.
  TMemo& InfoMemo() { return infoMemo_; }
  // Texts of the status bar panels 0..2; other indexes are ignored / empty.
  void SetStatusPanelText(int panel, std::string_view text);
  std::string StatusPanelText(int panel) const;
  // Status panel 1: "芯片校验和：" and ImageCrc16.
  void ShowChipChecksumPanel();

  // The arguments after the program name, as the program was started with
  // them; FormShow reads them.
  void SetCommandLine(std::vector<std::string> arguments) { commandLine_ = std::move(arguments); }

  // --- Start-up ---
  // The show handler: runs once, when the window is first shown (or when a
  // test calls it first). For an unattended run it first deletes an earlier
  // run's ResDW.Txt; then it reads the settings file, lays out the gauges,
  // greets, loads the firmware image, reads the command line and arms Timer2.
  // An unreadable settings file raises EInOutError and ends it at that step.
  void FormShow(QObject* Sender);
  bool FormShown() const { return formShown_; }

  // --- Checksums ---
  // Computes ImageCrc16, ImagePacketCrc, ImageSum32 and ImageSum16 over
  // FlashImage[start..end], then ShowImageChecksums. A range that
  // reaches past FlashImage is not read: the values are those the checksum
  // routines give for a range they refuse (CRC 0xFFFF, packet CRC 0, sum 0).
  void ShowChecksums(uint32_t start, uint32_t end);

  // --- Programming options ---
  // Copies the option controls into the settings sent to the programmer
  // units, right before an operation (and before a project is saved), and adds
  // the "> Control Setting(Hex): ..." line to InfoMemo. Each spin edit's range
  // is applied first, as its losing the focus would. The numbers of
  // GainEdit, SNEdit1 and AddrEdit are converted first: a text that is not a
  // number throws EConvertError ("'%s' is not a valid integer value") with
  // every setting as it was and no line written, and the calling command must
  // not start. A limit count of 0 unticks CheckBoxCtrl for the next reading.
  void ReadSettingsFromUi();
  // Puts the settings of a loaded project back into the option controls and
  // sets DataLoaded; ChkBoxCvtB and ChkBoxPCSN keep their state. Never throws:
  // the ticks run their handlers, and a conversion they cannot make (a bad
  // SNEdit1 text) is dropped, since SNEdit1 is rewritten anyway.
  void ShowSettingsInUi();
  // Shows a fresh chip selection dialog (g.ChipSelectForm while it is open),
  // frees it, and shows ChipName in MCUNameEdit; the edit runs
  // MCUNameEditChange only when its text really changes.
  void DevButtonClick(QObject* Sender);
  // The chip-name edit's change: with a chip chosen, clears DataLoaded and
  // the flash view, fixes RadioGpVolt on "5.0V" and logs the chip and sizes.
  void MCUNameEditChange(QObject* Sender);
  // Enabling handlers; each runs once whenever its box's state changes,
  // whether the user or the program changed it.
  void ChkBoxAutoClick(QObject* Sender);
  void CheckBoxSNClick(QObject* Sender);
  // Rewrites SNEdit1's number in decimal ("%u") or hexadecimal; throws
  // EConvertError, leaving the text, when it is not a number.
  void ChkBoxSNDPClick(QObject* Sender);
  void CheckBoxCtrlClick(QObject* Sender);
  void ButtonCfgClick(QObject* Sender);
  // The fixed serial-number data dialog, once a chip is chosen and data are
  // loaded; otherwise a warning.
  void ButtonCfgSNClick(QObject* Sender);

  // --- Settings file and channel binding ---
  // Resets the channel tables and binds SPComm1..8 and Gauge1..8 to channels 0..7.
  void InitChannels();
  // Reads the settings file at `path` into DeviceCount, PortNames, the port
  // components and ComboBoxCOM (rules in console/connection_config.h).
  // Throws EInOutError when the file cannot be read.
  void ReadConnectionConfig(const std::string& path);
  // DeviceCount and every channel's port (PortNames, the port component's
  // name) as the settings file gave them at start-up: the off-line start
  // binds the channels to the ports it lists, and the search undoes that.
  void RestoreConfiguredPorts();

  // --- Window log and exit ---
  void SpdBtnExitClick(QObject* Sender);
  // Closes the open ports and saves the log to
  // ProgramDir + "Log/ORxBEM_<date>_<time>.log"; runs on every close. An
  // unattended run saves it whatever its length, any other close only a log
  // of more than six lines. A log of that name already there is kept: the
  // new one is saved as "..._<time>_1.log", "_2" and so on, the first name
  // free. A save is whole or leaves no file. When it fails, "Write Log File
  // error!" goes into a box, or, when nobody watches the close
  // (NobodyAtTheClose), to standard error with the path and the system's
  // reason, and an unattended run's log lines follow it there; the window
  // closes either way.
  void FormClose(QObject* Sender);
  // The close that a termination signal asks for: as close(), but nobody is
  // there to answer a box on the way. False when the window refused.
  bool CloseOnSignal();
  // The program was started for an unattended download (a project and OFF on
  // the command line, or g.ExitAfterDownload set): nobody reads its boxes.
  bool Unattended() const;
  // A close asked for by a termination signal, or any close of an unattended run.
  bool NobodyAtTheClose() const { return closeOnSignal_ || Unattended(); }
  // The unattended end wrote the result file whole: the run succeeded.
  bool DownloadResultWritten() const { return downloadResultWritten_; }
  void ClearInformation1Click(QObject* Sender);
  // Copies only the text selected in InfoMemo to the clipboard.
  void CopytoCli1Click(QObject* Sender);
  void About1Click(QObject* Sender);

  // --- Image and project files ---
  // The commands that change the job (these loads, the project open, the
  // chip button, "Read Chip Memory", the fixed-SN data's OK) only log
  // kChannelsBusyText while any channel is busy (ImageFreeOrLog).
  // Load a data file into a fresh image (blank value 0 with FillZero, else
  // 0xFF) / on top of the current one. Both need a chosen chip; a file whose
  // extension no reader takes (.HEX, .S1<digit>..., .BIN, any letter case) is
  // refused with a box and changes nothing. A binary file's offset is asked
  // before anything changes; one at or past the chip's flash end (or the end
  // of FlashImage) is refused with "地址超出芯片有效数据范围！". The fresh
  // load names the file (DataFileName, status panel 2) once it has been read.
  void FileOpenBtnClick(QObject* Sender);
  void SpdBtnLoadMoreClick(QObject* Sender);
  // Reads `path` by its extension into the images, then logs that it was
  // loaded with the file's first and last address and sum, shows the sum and
  // refreshes the views; DataLoaded := 1 then. A binary file may fill the chip
  // from its offset on: the reader reports one that runs past the chip's end.
  // A reader's EInOutError (a file that cannot be opened, or fails part way)
  // leaves it at that point with DataLoaded 0 and nothing logged; the views
  // and both checksum panels then show the image as the read left it.
  void LoadDataFile(const std::string& path);
  // Saves the flash range with the writer of the filter entry chosen in
  // SaveDialog1 (1 binary, 2 Intel HEX, 3 S-record), whatever name was typed.
  // Nothing without loaded data. Writers throw EInOutError.
  void FileSaveBtnClick(QObject* Sender);
  void SaveMemoryFile();
  // Takes the option controls into the settings and writes a project file.
  void SavetoProjectFile1Click(QObject* Sender);
  void SpdBtnLdPrjClick(QObject* Sender);
  // Loads and applies the project at `path`; true when it loaded. A project
  // that fails its checks, or comes while a channel is busy, changes nothing
  // here (the reader, or the busy line, has said why).
  bool OpenProject(const std::string& path);
  // Checksums and both hex views over the current image; shows the log's page.
  void RefreshDataViews();
  // The same without a log line and without turning the page: the checksums
  // computed, status panel 1 and both hex views.
  void ShowImageQuietly();

  // --- Channel commands ---
  // The six step commands. Each switches to the page ChipSett, checks that a
  // chip is chosen (and, but for blank check and erase, that data are
  // loaded), reads the settings where the operation sends them, and starts
  // its step on every linked, idle channel below its count (DeviceCount for
  // Auto Program, FoundDevices for the others; never past channel 7). Only
  // the channels started have their receive buffer and, for the four single
  // steps, their Auto Program chain cleared; busy and unlinked channels are
  // left exactly as they are. While a chip read fills the image, the four
  // that send it or its checksums (all but blank check and erase) only log
  // kImageBeingReadText (ImageFreeOrLog).
  void AutoSpdBtnClick(QObject* Sender);
  void SpdBtnDownLoadClick(QObject* Sender);
  void SpdBtnBlankChkClick(QObject* Sender);
  void SpdBtnEraseClick(QObject* Sender);
  void SpdBtnProgClick(QObject* Sender);
  void SpdBtnVerifyClick(QObject* Sender);
  // Sees every key typed anywhere in the window before the focused control,
  // which still receives it, once a key press, whatever box it opens: Space
  // and Enter run Auto Program. Key is left as it came.
  void FormKeyPress(QObject* Sender, char& Key);

  // Reads on channel 0 alone, whatever the channel counts hold and whether
  // or not it is linked. The memory read, refused while any channel is busy
  // (kChannelsBusyText), then reads the settings and checks the chip; the
  // checksum and chip-ID reads check the chip; the address read asks for
  // address and length in the read-address dialog and reads with the last
  // values confirmed there, whether or not it was confirmed this time. These
  // three only log kReadChannelBusyText as a line of channel 0 while channel
  // 0 is busy.
  void ReadChipMemory1Click(QObject* Sender);
  void ReadChipCheckSum1Click(QObject* Sender);
  void ReadMG32xxChipID1Click(QObject* Sender);
  void ReadAddress1Click(QObject* Sender);

  // Off-line start: closes every port, forgets every channel's unit, lists
  // the ports again (whatever the settings file named) and sends the reset
  // to each listed port, at most eight, bound to channels in list order. An
  // OpenPort that fails raises ECommsError and ends the loop at that port.
  void StartOfflineProgrm1Click(QObject* Sender);
  // Reloads ProgramDir + "GenXBEM.FWR" and starts the upgrade on every linked
  // channel below DeviceCount that is not busy; logs a missing file.
  void DoFirmwarePpgrade1Click(QObject* Sender);

  // --- Device search ---
  // The search button: resets the receive state of all eight channels and
  // closes their ports (an upgrade running there is lost), re-lists the ports
  // present (or, when the settings file named them, restores its channel
  // count and ports and lists those of the channels in use) and searches.
  // Pressed by the operator (any Sender but Timer2), it also forgets the
  // upgrades that did not take, so their units are upgraded once more.
  void BitBtnFindDevClick(QObject* Sender);
  // Opens the listed ports one by one (channel i on combo item i, at most
  // DeviceCount of them and at least one, never past channel 7) and sends each
  // the identify request; answers come in through the receive handlers.
  // Raises what OpenPort raises, ending the search at that channel.
  void SearchDevices();

  // --- Timers ---
  // Timer1, every 10 ms: gauges of time-driven steps and the channel
  // time-out (AdvanceChannelTicks); after an unattended download that every
  // found unit took, writes ResDW.Txt and closes the window. That end is tried
  // once: a result file that cannot be written whole is not left at all, it
  // raises EInOutError once, and the window stays open as for any failed run.
  void Timer1Timer(QObject* Sender);
  // Timer2, every 100 ms until every channel in use has its unit: the first
  // search, then the command line's download (only of a project that loaded);
  // while it runs, the search again once every unit that took a firmware
  // upgrade is ready. Waits 200 ms on the GUI thread before that search.
  void Timer2Timer(QObject* Sender);

  // --- Components, by their form names ---
  QWidget* PanelBtns;
  QToolButton* SpdBtnOpen;
  QToolButton* SpdBtnLoadMore;
  QToolButton* SpdBtnLdPrj;
  QToolButton* SpdBtnDownLoad;
  QToolButton* AutoSpdBtn;
  QToolButton* SpdBtnBlankChk;
  QToolButton* SpdBtnErase;
  QToolButton* SpdBtnProg;
  QToolButton* SpdBtnVerify;
  QToolButton* SpdBtnExit;

  QTabWidget* ViewPageCtrl;
  QWidget* ChipSett;
  QWidget* TabSheetFlash;
  QWidget* TabSheetEEP;
  QTableView* HexViewer;
  QTableView* EEPDataView;
  THexGridModel* HexViewerCells;
  THexGridModel* EEPDataViewCells;

  QGroupBox* GroupBoxChip;
  // Chip group: the chip name with its button, and the interface options.
  QLineEdit* MCUNameEdit;
  QToolButton* DevButton;
  TRadioGroup* RadioGpVolt;
  TRadioGroup* RadioGroupBitF;
  QCheckBox* ChkBoxBlkEr;
  QCheckBox* ChkBoxFICE;
  QCheckBox* ChkBoxCvtB;
  QPushButton* ButtonCfg;

  QGroupBox* GroupBoxCfg;
  QTabWidget* PageControlSet;
  QWidget* TabSheet2;
  QWidget* TabSheet3;
  QWidget* TabSheet1;
  // TabSheet2: the count limit and chip detection.
  QCheckBox* CheckBoxCtrl;
  TSpinEditWidget* SpinEditNum;
  QCheckBox* ChkBoxAuto;
  TSpinEditWidget* SpinEditIn;
  TSpinEditWidget* SpinEditOut;
  QCheckBox* ChkBoxRunSHT;
  TSpinEditWidget* SpinEditRTM;
  // TabSheet3: power and reset outputs.
  QCheckBox* ChkBoxVDD;
  TSpinEditWidget* SpinEditVddTim;
  TSpinEditWidget* SpinEditPwDnTim;
  TRadioGroup* RadioGrpRST;
  QCheckBox* CheckBoxRun;
  // TabSheet1: the serial number.
  QLineEdit* SNEdit1;
  QLineEdit* GainEdit;
  QLineEdit* AddrEdit;
  QCheckBox* ChkBoxSNDP;
  QCheckBox* ChkBoxPCSN;
  QCheckBox* CheckBoxSN;
  QCheckBox* SNOrderChk;
  QPushButton* ButtonCfgSN;
  QGroupBox* GroupBoxCom;
  QComboBox* ComboBoxCOMView;  // the widget "ComboBoxCOM", mirrors ComboBoxCOM()
  QPushButton* BitBtnFindDev;

  QLabel* InfoPanel;
  TMemoView* InfoMemoView;  // the widget "InfoMemo", mirrors InfoMemo()
  QMenu* PopupMenu2;
  QAction* ClearInformation1;
  QAction* CopytoCli1;
  // Gauges[0..7] are Gauge1..Gauge8.
  std::array<TGaugeWidget*, kChannels> Gauges;

  QStatusBar* StatusBar1;

  QMenuBar* MainMenu1;
  QMenu* File1;
  QAction* Execute1;
  QAction* SaveFile1;
  QAction* SavetoProjectFile1;
  QAction* LoadFromProjectFile1;
  QAction* Exit1;
  QMenu* Command1;
  QAction* Download1;
  QAction* AutoProgram1;
  QAction* BlankCheck1;
  QAction* EraseChip1;
  QAction* Programming1;
  QAction* VeriufyDownload1;
  QAction* ReadChipCheckSum1;
  QAction* ReadMG32xxChipID1;
  QAction* ReadChipMemory1;
  QAction* DoFirmwarePpgrade1;
  QAction* StartOfflineProgrm1;
  QAction* ReadAddress1;
  QMenu* Help1;
  QAction* About1;

  TFileDialog OpenDialog1{FileDialogKind::Open};
  TFileDialog SaveDialog1{FileDialogKind::Save};
  TFileDialog OpenDialogPrj{FileDialogKind::Open};
  TFileDialog SaveDialogPrj{FileDialogKind::Save};

  QTimer* Timer1;  // 10 ms, running
  QTimer* Timer2;  // 100 ms, armed by FormShow

  // SPComm[0..7] are SPComm1..SPComm8, the serial port components of
  // channels 0..7, owned by the window and never null after construction.
  std::array<TComm*, kChannels> SPComm{};
  // Where the port listing looks for serial ports; tests point it at a tree of their own.
  std::string PortSysfsRoot = kSysClassTty;
  std::string PortDeviceFolder = kDeviceFolder;

  // What each port reports, with the channel the component is bound to.
  // The eight components' events land here.
  void SPCommReceiveData(uint8_t channel, const uint8_t* buffer, uint16_t length);
  void SPCommReceiveError(uint8_t channel, uint32_t eventMask);
  void SPCommRequestHangup(uint8_t channel);

protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void BuildButtonPanel();
  void BuildMenus();
  void BuildChipSettingPage();
  // The option controls of GroupBoxChip and the three pages of PageControlSet.
  void BuildChipGroup();
  void BuildCountPage();
  void BuildOutputPage();
  void BuildSerialNumberPage();
  // Runs `handler` on every change of the box's state; an error it raises is
  // reported as a handler's error (not while ShowSettingsInUi runs).
  void BindCheckBox(QCheckBox* box, void (TOrvantBEMxPrg::*handler)(QObject*));
  void BuildHexViews();
  void BuildStatusBar();
  void BuildDialogsAndTimers();
  QToolButton* AddSpeedButton(const char* name, const char* caption, const char* hint, int left, int width,
                              void (TOrvantBEMxPrg::*handler)(QObject*));
  QAction* AddMenuEntry(QMenu* menu, const char* name, const char* caption, const char* shortcut,
                        void (TOrvantBEMxPrg::*handler)(QObject*));
  void BindAction(QAction* action, void (TOrvantBEMxPrg::*handler)(QObject*));
  void KeepShortcutOfHiddenEntry(QAction* action, void (TOrvantBEMxPrg::*handler)(QObject*));
  void MirrorComboBox();

  // Channels 0..channels-1: not linked, not auto, not busy, no blocks.
  void ClearChannelRuns(int channels);
  void InitView();
  void LayoutGauges();
  void LoadFirmwareOrReportMissing();
  void ReadCommandLine();
  // The command line's project, once every unit is found: loaded, then
  // downloaded to every channel in use, or reported missing or not loaded.
  void RunCommandLineDownload();

  // The eight TComm components SPComm1..8 with their form values and their
  // events bound to this window's handlers.
  void CreateSerialComponents();
  // ListSerialPorts(ComboBoxCOM()) of the port discovery: fills the list with
  // the ports present and sets DeviceCount.
  void ListSerialPortsIntoComboBox();
  // LoadFirmwareImage(path) of the firmware upgrade: loads the image and sets
  // g.ImageValid. A file there that gives no usable image (it cannot be read,
  // or is no valid image) is logged with its path and the reason, which is
  // returned; empty when the image is usable.
  std::string LoadFirmwareImageFile(const std::string& path);
  // CommName of channel `channel`'s TComm := name (the port is not reopened).
  void SetChannelCommName(uint8_t channel, const std::string& name);
  // ClosePort on every channel whose port is open.
  void CloseOpenPorts();

  TMemo infoMemo_;
  TComboBoxModel comboBoxCOM_;
  // What the settings file named, kept for RestoreConfiguredPorts.
  uint8_t configuredDeviceCount_ = 1;
  std::array<std::string, kChannels> configuredPortNames_;
  std::array<std::unique_ptr<TComm>, kChannels> comms_;
  std::vector<std::string> commandLine_;
  bool formShown_ = false;
  bool closeOnSignal_ = false;
  bool showingSettings_ = false;
  bool unattendedEndTried_ = false;
  bool downloadResultWritten_ = false;
  // Why an earlier run's result file is still there (empty: it is not).
  std::string oldResultLeft_;
};

// "OrvantGenBEM: ", the text and a line end on standard error, in one write:
// what a box tells an operator, for a run or a close that nobody watches.
void TellStandardError(std::string_view text);
