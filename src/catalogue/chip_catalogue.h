#pragma once
// The chip catalogue: the part numbers the programmer supports, the chip
// dialog's pending selection, and the chip-dependent defaults that a chosen
// chip gives the settings. Qt-free; the dialog form only wires its widgets to
// these routines. GUI thread only, like the shared state it writes.

#include <array>
#include <cstdint>
#include <string_view>

// The one chip series offered, its code in every packet header and its entry
// in the dialog's series list.
inline constexpr uint8_t kFortiorSeries = 80;
inline constexpr std::string_view kFortiorSeriesName = "Fortior FU68xx";

// Marks an EEP range as absent (no chip of the list has one).
inline constexpr uint32_t kNoEepAddress = 0xFFFFFFFF;

// Part numbers; the index is what ChipIndex carries.
inline constexpr int ChipNameLast = 22;
extern const std::array<std::string_view, ChipNameLast + 1> ChipNameList;

// Pending selection of the chip dialog: written by its events, copied into the
// shared chip parameters only by CommitChipSelection. Zero at load.
extern uint8_t SelChipSeries;
extern uint8_t SelChipType;
extern uint8_t SelChipIndex;
extern uint16_t SelRomKB;     // flash size, KB
extern uint16_t SelEepSize;   // EEP size, bytes
extern uint32_t SelEepStart;  // kNoEepAddress: no EEP range
extern uint32_t SelEepEnd;

// The chip parameters and settings the program starts with until a chip or
// a project is chosen (the main window's first showing sets them): series 59,
// 128 KB of 256-byte pages (512), check flags 0x80, bit 7 of control byte 6
// set (its other bits kept), serial-number address 0x00FFFFFF; type, index,
// EEP size, interface flags, control bytes 5 and 8, model A and the file sums
// 0; no data loaded, no chip chosen. Everything else is left as it is.
void ApplyStartUpChipValues();

// Returns the pending selection to its load values (all zero). For tests.
void ResetChipSelection();

// Makes `name`'s flash size and type code pending, chosen by its first six
// characters (case-sensitive); a name that matches no known prefix, a short
// one included, takes 16 KB and type 0x02. The EEP size and range become
// "none".
void SetChipParams(std::string_view name);

// Sets the chip-dependent defaults of the settings from g.ChipName and
// g.RomSizeKB: model bytes, page size and count, flash range, control byte 14,
// programming speed, check and interface flags; marks ProjectCfgBlock as all
// 0xFF, since a previously loaded project's configuration no longer applies.
void ApplyChipDefaults();

// What OK does: marks a chip chosen, clears control bytes 4, 5, 6 and 8,
// copies the pending selection into the shared chip parameters with
// `chipName` as g.ChipName, then applies the chip defaults.
void CommitChipSelection(std::string_view chipName);
