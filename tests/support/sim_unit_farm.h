#pragma once
// Simulated programmer units for end-to-end tests: N units, each serving a
// pseudo-terminal of its own, and the settings file that names them, so the
// real program opens them as its channels 1..N.
//
// Threads: a farm belongs to one test thread; the units themselves may be
// queried and scripted from any thread while they run (see SimUnit).
// Lifetime: the destructor stops every unit; each stop wakes its unit's
// serving thread and returns within milliseconds, whatever the unit was
// doing (pacing, a late reply, a line the program no longer reads).

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "simunit/sim_unit.h"

class SimUnitFarm {
 public:
  static constexpr size_t kMaxUnits = 8;

  // Starts count units (1..8; more are not made). Throws std::runtime_error
  // when a pseudo-terminal cannot be had; the units made so far are stopped.
  explicit SimUnitFarm(size_t count, uint32_t lineBaud = 0);
  ~SimUnitFarm();
  SimUnitFarm(const SimUnitFarm&) = delete;
  SimUnitFarm& operator=(const SimUnitFarm&) = delete;

  size_t Size() const { return units_.size(); }
  // The unit on channel (0-based: channel 0 is the settings file's DEV1).
  // Throws std::out_of_range for a channel the farm does not have.
  SimUnit& Unit(size_t channel) { return *units_.at(channel); }
  const SimUnit& Unit(size_t channel) const { return *units_.at(channel); }
  std::vector<std::string> SlavePaths() const;

  // Writes folder/ConfigOvg.ini naming every unit (TOTDEV and DEVn lines)
  // and returns its path. Throws EInOutError when it cannot. Both this and
  // WriteLinkedConfig make the units (and units plugged in later) report,
  // after an upgrade, the version of folder's firmware image file.
  std::string WriteConfig(const std::string& folder);

  // Writes folder/ConfigOvg.ini naming each unit by a link folder/unitN that
  // points at its line, as a udev name stays with the socket a unit is
  // plugged into, and returns its path. Throws std::filesystem::filesystem_error
  // when a link cannot be made, EInOutError when the file cannot be written.
  std::string WriteLinkedConfig(const std::string& folder);
  // A unit plugged back: the channel's unit (hung up or not) is replaced by a
  // new one, started, on a new line, and the channel's link, when
  // WriteLinkedConfig made one, points at it. Throws as the constructor does
  // (the old unit then stays).
  SimUnit& Replug(size_t channel);

  // Applies a setting to every unit.
  void ForEach(const std::function<void(SimUnit&)>& apply);
  // Waits until done holds for every unit, polling; false at the limit.
  bool WaitForAll(const std::function<bool(const SimUnit&)>& done,
                  std::chrono::milliseconds limit) const;

  // Stops every unit (also done by the destructor); the units keep what they
  // recorded and can still be queried.
  void StopAll();

 private:
  std::unique_ptr<SimUnit> StartUnit() const;
  void ServeProgramIn(const std::string& folder);

  std::vector<std::unique_ptr<SimUnit>> units_;
  uint32_t lineBaud_ = 0;
  std::vector<std::string> links_;  // one per unit, or none
  std::string upgradeImageFile_;
};
