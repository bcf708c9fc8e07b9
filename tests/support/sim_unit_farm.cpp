#include "support/sim_unit_farm.h"

#include <algorithm>
#include <filesystem>
#include <thread>

#include "link/firmware.h"
#include "simunit/connection_file.h"

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(2);

}  // namespace

SimUnitFarm::SimUnitFarm(size_t count, uint32_t lineBaud) : lineBaud_(lineBaud) {
  count = std::min(count, kMaxUnits);
  // A unit that throws is not made; those before it stop in their
  // destructors as units_ unwinds.
  for (size_t i = 0; i < count; ++i) units_.push_back(StartUnit());
}

std::unique_ptr<SimUnit> SimUnitFarm::StartUnit() const {
  auto unit = std::make_unique<SimUnit>();
  unit->SetLineRate(lineBaud_);
  unit->SetUpgradeImageFile(upgradeImageFile_);
  unit->Start();
  return unit;
}

SimUnitFarm::~SimUnitFarm() { StopAll(); }

std::vector<std::string> SimUnitFarm::SlavePaths() const {
  std::vector<std::string> paths;
  for (const auto& unit : units_) paths.push_back(unit->SlavePath());
  return paths;
}

std::string SimUnitFarm::WriteConfig(const std::string& folder) {
  ServeProgramIn(folder);
  return WriteConnectionConfig(folder, SlavePaths());
}

void SimUnitFarm::ServeProgramIn(const std::string& folder) {
  upgradeImageFile_ = FolderFile(folder, kFirmwareFileName);
  for (const auto& unit : units_) unit->SetUpgradeImageFile(upgradeImageFile_);
}

std::string SimUnitFarm::WriteLinkedConfig(const std::string& folder) {
  std::string base = folder;
  if (!base.empty() && base.back() != '/') base += '/';
  links_.clear();
  for (size_t i = 0; i < units_.size(); ++i) {
    links_.push_back(base + "unit" + std::to_string(i + 1));
    std::filesystem::remove(links_.back());
    std::filesystem::create_symlink(units_[i]->SlavePath(), links_.back());
  }
  ServeProgramIn(folder);
  return WriteConnectionConfig(folder, links_);
}

SimUnit& SimUnitFarm::Replug(size_t channel) {
  std::unique_ptr<SimUnit>& slot = units_.at(channel);
  std::unique_ptr<SimUnit> fresh = StartUnit();
  if (channel < links_.size()) {
    // A new link renamed over the old one: the path never names nothing.
    const std::string next = links_[channel] + ".next";
    std::filesystem::remove(next);
    std::filesystem::create_symlink(fresh->SlavePath(), next);
    std::filesystem::rename(next, links_[channel]);
  }
  slot = std::move(fresh);
  return *slot;
}

void SimUnitFarm::ForEach(const std::function<void(SimUnit&)>& apply) {
  for (auto& unit : units_) apply(*unit);
}

bool SimUnitFarm::WaitForAll(const std::function<bool(const SimUnit&)>& done,
                             std::chrono::milliseconds limit) const {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (std::all_of(units_.begin(), units_.end(), [&](const auto& unit) { return done(*unit); }))
      return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
}

void SimUnitFarm::StopAll() {
  for (auto& unit : units_) unit->Stop();
}
