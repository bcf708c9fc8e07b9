#pragma once
// The command line's download over the channel tables: which channels are in
// use, when every unit has been found or is ready again after a firmware
// upgrade, the download start, and the result file of an unattended run
// ("OFF" after the project). GUI thread only.

#include <cstdint>
#include <string>

// "Download Success", the one line of the result file.
inline constexpr const char* kDownloadSuccessText = "Download Success";

// DeviceCount, but never more than the eight channels: no loop passes channel 7.
uint8_t ChannelsInUse();

// FoundDevices >= ChannelsInUse(): every channel in use has its unit (also
// true with no channel in use).
bool AllUnitsFound();

// Every channel in use reports its unit ready (ChannelUnready 0), the test
// that follows a firmware upgrade.
bool UpgradedUnitsReady();

// RxCount := 0 and StartDownload on every channel in use, linked or not.
void StartDownloadOnChannelsInUse();

// The unattended run's end condition: ExitAfterDownload is set, at least one
// download succeeded and as many as units were found.
bool UnattendedDownloadFinished();

// ProgramDir + "ResDW.Txt".
std::string DownloadResultPath();

// Writes "Download Success" and CR LF as the whole result file. Throws
// EInOutError (path and reason) when it cannot be written.
void WriteDownloadResult();

// Deletes a result file left by an earlier run, so that a script never reads
// an old success. Returns an empty text when no file is left, else why the old
// file could not be removed.
std::string RemoveOldDownloadResult();
