#include "support/sim_unit_farm.h"

#include <algorithm>
#include <thread>

#include "simunit/connection_file.h"

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(2);

}  // namespace

SimUnitFarm::SimUnitFarm(size_t count, uint32_t lineBaud) {
  count = std::min(count, kMaxUnits);
  for (size_t i = 0; i < count; ++i) {
    // A unit that throws is not made; those before it stop in their
    // destructors as units_ unwinds.
    units_.push_back(std::make_unique<SimUnit>());
    units_.back()->SetLineRate(lineBaud);
    units_.back()->Start();
  }
}

SimUnitFarm::~SimUnitFarm() { StopAll(); }

std::vector<std::string> SimUnitFarm::SlavePaths() const {
  std::vector<std::string> paths;
  for (const auto& unit : units_) paths.push_back(unit->SlavePath());
  return paths;
}

std::string SimUnitFarm::WriteConfig(const std::string& folder) const {
  return WriteConnectionConfig(folder, SlavePaths());
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
